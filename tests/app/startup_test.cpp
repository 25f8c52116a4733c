// Start-up: control arrays, grid texts, initial selections, the style and the
// toolkit's error handling.
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Convert.h"
#include "app/Log.h"
#include "app/Style.h"
#include "app/WindowSettings.h"
#include "tests/Harness.h"

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void arraysHoldEveryNumberedControl() {
    TForm1 form;
    auto check = [](const auto& array, const char* prefix) {
      for (std::size_t i = 0; i < array.size(); ++i) {
        QVERIFY2(array[i] != nullptr, prefix);
        QCOMPARE(array[i]->objectName().toLower(), (prefix + QString::number(i + 1)).toLower());
      }
    };
    check(form.ceroEdits, "cero");
    check(form.spanEdits, "span");
    check(form.alLowEdits, "allow");
    check(form.alHiEdits, "alhi");
    check(form.aiHisEdits, "aihis");
    check(form.currentChecks, "currentcheck");
    check(form.voltageChecks, "voltagecheck");
    check(form.currentLabels, "current");
    check(form.anaValueLabels, "anavalue");
    check(form.alarmaLabels, "alarma");
    check(form.analogPanels, "analogpanel");
    check(form.digitalChecks, "digitalcheck");
    check(form.analogLowChecks, "analoglowcheck");
    check(form.analogHiChecks, "analoghicheck");
    check(form.invertChecks, "invert");
    check(form.logicInvertChecks, "logicinvert");
    check(form.latchChecks, "latch");
    check(form.latchResetChecks, "latchreset");
    check(form.pulsoCombos, "pulso");
    check(form.lacthTimeEdits, "lacthtime");
    check(form.digtalPanels, "digtalpanel");
    check(form.diStatusLabels, "distatus");
    check(form.coilPanels, "coilpanel");
    check(form.coilLabels, "coillabel");
    check(form.botonOnButtons, "botonon");
    check(form.botonOffButtons, "botonoff");
    check(form.modbusGrids, "modbusgrid");
    // Found through a lower-case prefix, named as the layout names it.
    QCOMPARE(form.ceroEdits[0]->objectName(), QString("Cero1"));
    QCOMPARE(form.invertChecks[15]->objectName(), QString("Invert16"));
  }

  void gridsArePrepared() {
    TForm1 form;
    StringGrid* digital = form.modbusGrid1;
    StringGrid* analog = form.modbusGrid2;
    QCOMPARE(digital->cell(0, 1), QString("11000"));
    QCOMPARE(digital->cell(0, 64), QString("11063"));
    QCOMPARE(analog->cell(0, 48), QString("5047"));
    QCOMPARE(analog->cell(0, 49), QString());
    const QStringList titles{"Tag", "Enable", "Slave", "Address",
                             "Alarma Hi", "Alarma Low", "Threshold", "DataType"};
    for (int col = 0; col < 8; ++col) QCOMPARE(analog->cell(col, 0), titles[col]);
    for (int col = 0; col < 4; ++col) QCOMPARE(digital->cell(col, 0), titles[col]);
    for (int row = 1; row <= 64; ++row) {
      for (int col = 1; col <= 3; ++col) QCOMPARE(digital->cell(col, row), QString("0"));
      // Rows 49-64 of the analog grid are held although not shown.
      for (int col = 1; col <= 6; ++col) QCOMPARE(analog->cell(col, row), QString("0"));
      QCOMPARE(analog->cell(7, row), QString());
    }
    QVERIFY(!analog->isRowHidden(48));
    QVERIFY(analog->isRowHidden(49));
    QCOMPARE(form.tagDigital->cell(1, 0), QString("Tags Entradas Digitales"));
    QCOMPARE(form.tagAnalog->cell(1, 0), QString("Tags Alarmas Analogicas"));
    QCOMPARE(form.tagDigital->cell(0, 8), QString("8"));
    QCOMPARE(form.tagAnalog->cell(0, 4), QString("4"));
  }

  void initialStateAfterStart() {
    TForm1 form;
    QCOMPARE(form.windowTitle(),
             QString("Qirel Dalvesca - Configuracion & Debug - Version 20220503"));
    QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet1);
    QCOMPARE(form.PageControl2->currentWidget(), form.TabSheet7);
    QVERIFY(!form.BitBtn2->isEnabled());
    QVERIFY(form.Edit3->isHidden());
    QVERIFY(form.PageControl2->isHidden());
    QCOMPARE(form.StatusText(), QString("Estado:"));
    QVERIFY(form.Timer1->isActive() && form.Timer2->isActive());
    QVERIFY(form.Timer3->isActive() && form.Timer4->isActive());
    QVERIFY(!form.Timer5->isActive());
    QCOMPARE(form.Timer1->interval(), 50);
    QCOMPARE(form.Timer2->interval(), 500);
    QCOMPARE(form.Timer3->interval(), 100);
    QCOMPARE(form.Timer4->interval(), 1000);
    QCOMPARE(form.Timer5->interval(), 50);
    QCOMPARE(form.SaveDialog1.fileName, QString("Debug.txt"));
    QCOMPARE(form.SaveDialog2.filter, QString("*.txt|*.txt"));
    QCOMPARE(form.SaveDialog3.defaultExt, QString(".bin"));
    QCOMPARE(form.SaveDialog3.fileName, QString("blabla.bin"));
  }

  void firstStartOpensLargeWithTheInitialStates() {
    QTemporaryDir dir;
    QSettings none(dir.filePath("none.ini"), QSettings::IniFormat);
    TForm1 form;
    form.RestoreKept(none);
    const QRect available = form.screen()->availableGeometry();
    QCOMPARE(form.size(), FirstWindowSize(available));
    QCOMPARE(FirstWindowSize(QRect(0, 0, 1920, 1040)), QSize(1150, 800));
    QCOMPARE(FirstWindowSize(QRect(0, 0, 1024, 700)), QSize(1024, 700));
    QCOMPARE(form.LabeledEdit1->text(), QString("1"));
    QCOMPARE(form.RadioGroup2->itemIndex(), 0);
    QVERIFY(form.Edit3->isHidden() && form.Edit3->text() == "1");
    QVERIFY(!form.isMaximized() && !form.BitBtn2->isEnabled());
    QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet1);

    // At that size the whole "Estado" page shows, with no scrolling.
    form.resize(1150, 800);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* area = form.findChild<QScrollArea*>("centralArea");
    QTRY_VERIFY(area->widget()->height() <= area->viewport()->height());
    QVERIFY(area->widget()->width() <= area->viewport()->width());
    QVERIFY(!area->horizontalScrollBar()->isVisible() && !area->verticalScrollBar()->isVisible());

    // The user's config folder, never beside the program or in the working folder
    // (the tests run with HOME and XDG_CONFIG_HOME of their own).
    QCOMPARE(UserSettings()->fileName(), QDir::homePath() + "/.config/Dalvesca/Qirel.ini");
  }

  void windowAndPortAreKeptBetweenRuns() {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("kept.ini"), QSettings::IniFormat);
    {
      TForm1 form;
      form.setGeometry(QRect(40, 30, 700, 500));
      form.LabeledEdit1->setText("7");
      form.RadioGroup2->setItemIndex(1);
      form.RadioGroup2Click();
      form.Edit3->setText("258");
      form.Keep(settings);
    }
    {
      TForm1 form;
      form.RestoreKept(settings);
      QCOMPARE(form.geometry(), QRect(40, 30, 700, 500));
      QCOMPARE(form.LabeledEdit1->text(), QString("7"));
      QCOMPARE(form.RadioGroup2->itemIndex(), 1);
      QVERIFY(!form.Edit3->isHidden() && form.Edit3->text() == "258");
      form.showMaximized();
      form.Keep(settings);
    }
    {
      TForm1 form;
      form.RestoreKept(settings);
      QVERIFY(form.windowState() & Qt::WindowMaximized);
      form.show();
      QVERIFY(form.isMaximized());
      QCOMPARE(form.normalGeometry().size(), QSize(700, 500));
    }
    // A screen that is gone: the size stays, the place does not; values the
    // window could not show are left out.
    settings.setValue("window/geometry", QRect(50000, 40000, 640, 480));
    settings.setValue("window/maximised", false);
    settings.setValue("link/port", "12a");
    settings.setValue("link/mode", 2);
    settings.setValue("link/station", QString(40, QChar('9')));
    settings.sync();
    TForm1 form;
    form.RestoreKept(settings);
    QCOMPARE(form.size(), QSize(640, 480));
    QVERIFY(form.screen()->availableGeometry().contains(form.geometry().topLeft()));
    QCOMPARE(form.LabeledEdit1->text(), QString("1"));
    QCOMPARE(form.RadioGroup2->itemIndex(), 0);
    QVERIFY(form.Edit3->isHidden() && form.Edit3->text() == "1");
    // Port 0 is no more a port here than on the command line.
    settings.setValue("link/port", "0");
    settings.sync();
    TForm1 zero;
    zero.RestoreKept(settings);
    QCOMPARE(zero.LabeledEdit1->text(), QString("1"));
  }

  void dispatcherTickShowsTheSubPages() {
    TForm1 form;
    form.show();
    QVERIFY(form.PageControl2->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!form.PageControl2->isHidden(), 2000);
    QVERIFY(form.ComboBox10->isHidden());
    QVERIFY(!form.CheckBox44->isHidden());
    QCOMPARE(form.pulsoLabels[7]->text(), QString("Pulsos"));
  }

  void styleMissingStillOpens() {
    DialogScript dialogs;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY(!ApplyStyle(*app, ":/style/NoSuchStyle.qss"));
    QCOMPARE(dialogs->errors.size(), 1);
    TForm1 form;
    form.show();
    QVERIFY(form.isVisible());
    QVERIFY(ApplyStyle(*app, kAuricStyle));
    QVERIFY(app->styleSheet().contains("QPushButton"));
  }

  void coloredPanelShowsItsColourThroughTheStyle() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QVERIFY(ApplyStyle(*app, kAuricStyle));
    TForm1 form;
    form.resize(1100, 750);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Panel5->setColor(clGreen);
    const QImage image = form.Panel5->grab().toImage();
    const QColor centre = image.pixelColor(3, image.height() / 2);
    QCOMPARE(centre, ToQColor(clGreen));
  }

  void handlerExceptionsAreShownAndTheProgramGoesOn() {
    DialogScript dialogs;
    TForm1 form;
    form.Guarded([] { StrToInt("abc"); });
    form.Guarded([] { throw 42; });
    QCOMPARE(dialogs->errors, QStringList({"'abc' is not a valid integer value", ""}));
  }

  void strToIntFollowsTheToolkit() {
    const std::pair<const char*, int> good[] = {{"12", 12},       {" 12", 12},
                                                {"-5", -5},       {"+7", 7},
                                                {"0012", 12},     {"2147483647", 2147483647},
                                                {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : good) QCOMPARE(StrToInt(text), value);
    for (const char* text : {"", "abc", "1.5", "99999999999", "2147483648", "12 ", "-", "0x10"}) {
      try {
        StrToInt(text);
        QFAIL(text);
      } catch (const EConvertError& error) {
        QCOMPARE(error.text(), QString("'%1' is not a valid integer value").arg(text));
      }
    }
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
