// The consoles over a long day: bounded with the dropped lines shown and the
// log file keeping everything, the view that stays where the user scrolled,
// the find bar, timestamps and saving a console.
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#include "app/Log.h"
#include "monitor/Monitor.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"
#include "tests/RestingForm.h"

class ConsoleTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  std::unique_ptr<TForm1> form;

  // n trace lines "linea i" through the receiver, a tick each ten lines, the
  // event loop turning between ticks as it does live.
  void Feed(int from, int count, const char* text = "linea") {
    std::string take;
    for (int i = from; i < from + count; ++i) {
      take += std::string(text) + ' ' + std::to_string(i) + "\r\n";
      if ((i - from) % 10 == 9 || i == from + count - 1) {
        InjectInbox(take);
        form->Timer1Timer();
        QCoreApplication::processEvents();
        take.clear();
      }
    }
  }

  static QString FirstVisibleLine(QPlainTextEdit* memo) {
    return memo->document()->findBlockByNumber(memo->verticalScrollBar()->value()).text();
  }

 private slots:
  void init() {
    form = RestingForm();
    PretendConnected(*form);
    form->resize(1000, 700);
    form->show();
    form->PageControl1->setCurrentWidget(form->TabSheet3);
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }
  void cleanup() {
    loggingOn = 0;
    form.reset();
  }

  void oldLinesGoAndTheLogKeepsThem() {
    QCOMPARE(form->consoleTools->MaxLines(), 200000);
    form->consoleTools->SetMaxLines(100);
    DialogScript dialogs;
    const QString log = dir.filePath("log.txt");
    dialogs->files.push_back(log);
    form->BitBtn24Click();
    QVERIFY(loggingOn);
    Feed(0, 250);
    const QStringList lines = Lines(form->Memo1);
    QCOMPARE(lines.size(), 100);
    QCOMPARE(lines.first(), QString("linea 150"));
    QCOMPARE(lines.last(), QString("linea 249"));
    QCOMPARE(form->consoleTools->Dropped(form->Memo1), 150);
    QCOMPARE(form->consoleTools->Dropped(form->Memo2), 0);
    QVERIFY(form->consoleTools->droppedLabels[0]->isVisible());
    QVERIFY(form->consoleTools->droppedLabels[0]->text().contains("150"));
    QVERIFY(!form->consoleTools->droppedLabels[1]->isVisible());
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 250);
    form->BitBtn23Click();  // "&Limpiar"
    QCOMPARE(form->consoleTools->Dropped(form->Memo1), 0);
    QVERIFY(!form->consoleTools->droppedLabels[0]->isVisible());
  }

  void scrolledUpTheViewStaysPut() {
    form->consoleTools->SetMaxLines(500);
    Feed(0, 400);
    QScrollBar* bar = form->Memo1->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(!form->consoleTools->followButton->isVisible());
    bar->setValue(300);  // the user scrolls up
    QVERIFY(!form->consoleTools->Following(form->Memo1));
    QVERIFY(form->consoleTools->followButton->isVisible());
    const QString seen = FirstVisibleLine(form->Memo1);
    Feed(400, 300);  // 200 older lines go meanwhile
    QCOMPARE(seen, QString("linea 300"));
    QCOMPARE(FirstVisibleLine(form->Memo1), seen);
    QVERIFY(bar->value() < bar->maximum());
    form->consoleTools->followButton->click();
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(!form->consoleTools->followButton->isVisible());
    Feed(700, 50);
    QCOMPARE(bar->value(), bar->maximum());
    // Going back to the bottom by hand follows again too.
    bar->setValue(10);
    QVERIFY(form->consoleTools->followButton->isVisible());
    bar->setValue(bar->maximum());
    QVERIFY(form->consoleTools->Following(form->Memo1));
    QVERIFY(!form->consoleTools->followButton->isVisible());
  }

  void findBarOverTheFocusedConsole() {
    ConsoleTools& tools = *form->consoleTools;
    Feed(0, 30, ">MODBUS TCP Alarma");  // Memo2
    Feed(30, 5, ">MODBUS TCP estado alarma");
    Feed(35, 5, "Alarma general");  // Memo1
    form->Memo2->setFocus();
    QTRY_VERIFY(form->Memo2->hasFocus());
    QTest::keySequence(form.get(), QKeySequence::Find);
    QVERIFY(tools.findBar->isVisible());
    QCOMPARE(tools.findBar->objectName(), QString("findBar"));
    QCOMPARE(tools.FindTarget(), form->Memo2);
    QTest::keyClicks(tools.findEdit, "ALARMA");  // case does not matter by default
    QCOMPARE(tools.MatchCount(), 35);
    QCOMPARE(form->Memo2->extraSelections().size(), 35);
    QCOMPARE(tools.findCount->text(), QString("35 coincidencias"));
    form->Memo2->moveCursor(QTextCursor::Start);
    tools.findNextButton->click();
    QCOMPARE(tools.CurrentMatch(), 0);
    QCOMPARE(form->Memo2->textCursor().selectedText(), QString("Alarma"));
    QCOMPARE(tools.findCount->text(), QString("1 de 35"));
    tools.findPreviousButton->click();  // wraps to the last
    QCOMPARE(tools.CurrentMatch(), 34);
    QCOMPARE(form->Memo2->textCursor().selectedText(), QString("alarma"));
    tools.findCaseCheck->setChecked(true);
    QCOMPARE(tools.MatchCount(), 0);
    QCOMPARE(tools.findCount->text(), QString("Sin coincidencias"));
    tools.findCaseCheck->setChecked(false);
    QTest::keyClick(tools.findEdit, Qt::Key_Escape);
    QVERIFY(!tools.findBar->isVisible());
    QVERIFY(form->Memo2->extraSelections().isEmpty());
    // Over the download console, on its own page.
    form->Memo3->appendPlainText("Alarma de descarga");
    form->PageControl1->setCurrentWidget(form->TabSheet6);
    form->Memo3->setFocus();
    QTRY_VERIFY(form->Memo3->hasFocus());
    tools.OpenFind();
    QCOMPARE(tools.FindTarget(), form->Memo3);
    QVERIFY(tools.findBar->isVisible());
    QCOMPARE(tools.MatchCount(), 1);
  }

  void timestampsOnLinesShownFromThenOn() {
    DialogScript dialogs;
    const QString log = dir.filePath("hora.txt");
    dialogs->files.push_back(log);
    form->BitBtn24Click();
    QCOMPARE(form->consoleTools->timestampCheck->text(), QString("Hora"));
    QVERIFY(!form->consoleTools->timestampCheck->isChecked());
    Feed(0, 2);
    form->consoleTools->timestampCheck->setChecked(true);
    Feed(2, 2, ">Serial RX");  // both consoles
    const QStringList memo1 = Lines(form->Memo1);
    QCOMPARE(memo1[0], QString("linea 0"));
    const QRegularExpression stamped("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d >Serial RX 2$");
    QVERIFY2(stamped.match(memo1[2]).hasMatch(), qPrintable(memo1[2]));
    QVERIFY(stamped.match(Lines(form->Memo2)[0]).hasMatch());
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("linea 0\r\nlinea 1\r\n>Serial RX 2\r\n>Serial RX 3\r\n"));
  }

  void saveWritesTheConsoleAsTheUnitSentIt() {
    DialogScript dialogs;
    InjectInbox(
        std::string("GSM SE\xD1"
                    "AL: -71 dBm\r\nlinea 2\r\n"));
    form->Timer1Timer();
    form->Memo1->setFocus();
    QTRY_VERIFY(form->Memo1->hasFocus());
    QCOMPARE(form->consoleTools->saveButton->text(), QString("Guardar consola"));
    const QString path = dir.filePath("consola.txt");
    dialogs->files.push_back(path);
    form->consoleTools->saveButton->click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("GSM SE\xD1"
                                        "AL: -71db\r\nlinea 2\r\n"));
  }
};

QTEST_MAIN(ConsoleTest)
#include "console_test.moc"
