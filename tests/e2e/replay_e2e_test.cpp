// A session with the virtual unit is captured (trace, telemetry, block reads
// and a write), then replayed as fast as possible into a fresh window with no
// port: the consoles and every field of "Estado" and "Configuración" end as
// the technician saw them.
#include <QComboBox>
#include <QDir>
#include <QtTest>

#include "app/Log.h"
#include "sim/VirtualUnit.h"
#include "tests/Harness.h"

namespace {
constexpr int kTimeout = 10000;

bool WaitStatus(TForm1& form, const char* text) {
  QDeadlineTimer deadline(kTimeout);
  while (!deadline.hasExpired()) {
    if (form.StatusText() == text) return true;
    QTest::qWait(20);
  }
  qWarning("status \"%s\", waited for \"%s\"", qPrintable(form.StatusText()), text);
  return false;
}

// Everything a page shows, by control name.
QStringList PageState(QWidget* page) {
  QStringList state;
  for (QWidget* widget : page->findChildren<QWidget*>()) {
    const QString name = widget->objectName();
    if (name.isEmpty()) continue;
    QString value;
    if (auto* grid = qobject_cast<StringGrid*>(widget)) {
      for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c) value += grid->cell(c, r) + '|';
    } else if (auto* panel = qobject_cast<Panel*>(widget)) {
      value = panel->caption() + QString(" %1 %2").arg(panel->color()).arg(panel->fontColor());
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      value = edit->text();
    } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
      value = QString::number(box->currentIndex());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      value = QString("%1 %2").arg(button->isChecked()).arg(button->isEnabled());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      value = label->text();
    } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
      for (int i = 0; i < tabs->count(); ++i) value += QString::number(tabs->isTabVisible(i));
    } else {
      continue;
    }
    state << name + '=' + value;
  }
  return state;
}

struct Seen {
  QStringList memo1, memo2, estado, config, top;
};

Seen Snapshot(TForm1& f) {
  Seen seen;
  seen.memo1 = Lines(f.Memo1);
  for (const QString& line : Lines(f.Memo2))
    if (!line.startsWith("=> Enviado: ")) seen.memo2 << line;
  seen.estado = PageState(f.TabSheet1);
  seen.config = PageState(f.TabSheet2);
  for (Panel* panel : {f.Panel5, f.Panel12, f.Panel13, f.Panel36})
    seen.top << panel->caption() + QString(" %1").arg(panel->color());
  seen.top << f.LabeledEdit13->text() << f.Label145->text() << f.StatusText();
  for (QTabWidget* tabs : {f.PageControl1, f.PageControl2})
    for (int i = 0; i < tabs->count(); ++i) seen.top << QString::number(tabs->isTabVisible(i));
  return seen;
}
}  // namespace

class ReplayE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void replayShowsWhatTheTechnicianSaw() {
    const QString path = QDir::temp().filePath(QString("qirel-replay-%1.qcap").arg(getpid()));
    QFile::remove(path);
    DialogScript dialogs;
    Seen live;
    int sentFrames = 0;
    {
      sim::UnitOptions options;
      options.com = 41;
      options.telemetryPeriod = std::chrono::milliseconds(700);
      sim::VirtualUnit unit(options);
      unit.Start();
      auto form = std::make_unique<TForm1>();
      TForm1& f = *form;
      dialogs->files.push_back(path);
      f.captureButton->click();
      QCOMPARE(f.captureButton->text(), QString("Detener captura"));
      f.LabeledEdit1->setText("41");
      f.BitBtn1Click();
      QVERIFY(f.IsConnected());

      QTRY_VERIFY_WITH_TIMEOUT(f.Label145->text().startsWith("Señal: -"), kTimeout);
      QTRY_VERIFY_WITH_TIMEOUT(f.LabeledEdit13->text().endsWith("V"), kTimeout);
      QTRY_VERIFY_WITH_TIMEOUT(f.analogPanels[7]->color() != clBtnFace, kTimeout);
      const struct {
        QPushButton* button;
        const char* receipt;
      } reads[] = {
          {f.BitBtn7, "Estado: Identificación de Hardware Recibido OK! "},
          {f.BitBtn34, "Estado: Lectura TSD Configuracion Recibido!"},
          {f.BitBtn31, "Estado: Lectura Configuracion DI 1 Recibido"},
          {f.BitBtn86, "Estado: Configuracion Ai 1 recibida"},
          {f.BitBtn9, "Estado: Configuracion Modbus Digital Recibido!"},
          {f.BitBtn16, "Estado: Tags Digitales Recibidos OK!"},
      };
      for (const auto& read : reads) {
        read.button->click();
        QVERIFY2(WaitStatus(f, read.receipt), read.receipt);
        ++sentFrames;
      }
      // A write, read back so the page shows the unit's values again.
      f.LabeledEdit38->setText("321");
      f.RadioButton3->setChecked(true);
      f.BitBtn5->click();
      QVERIFY(WaitStatus(f, "Estado: escritura de Do configuracion OK!"));
      f.BitBtn4->click();
      QVERIFY(WaitStatus(f, "Estado: Lectura Configuracion DOut Recibido!"));
      sentFrames += 2;
      QCOMPARE(f.LabeledEdit38->text(), QString("321"));

      f.Timer1->stop();  // nothing more taken than what the capture holds
      f.Timer2->stop();
      f.captureButton->click();
      QCOMPARE(f.captureButton->text(), QString("Grabar captura"));
      live = Snapshot(f);
      f.BitBtn2Click();
      QTest::qWait(60);  // the reader sees its stop request
    }
    QVERIFY(live.memo1.size() > 20);
    QVERIFY(live.memo2.size() > 5);

    TForm1 f;
    QVERIFY(Snapshot(f).estado != live.estado);
    dialogs->files.push_back(path);
    f.replaySpeed->setCurrentIndex(2);
    f.replayButton->click();
    QVERIFY(f.replay->IsRunning());
    QVERIFY(!f.BitBtn1->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!f.replay->IsRunning(), 60000);
    QVERIFY2(dialogs->messages.isEmpty(), qPrintable(dialogs->messages.join('\n')));
    f.Timer1->stop();
    f.Timer2->stop();
    const Seen replayed = Snapshot(f);
    QCOMPARE(replayed.memo1, live.memo1);
    QCOMPARE(replayed.memo2, live.memo2);
    QCOMPARE(replayed.estado, live.estado);
    QCOMPARE(replayed.config, live.config);
    QCOMPARE(replayed.top, live.top);
    // The frames the technician sent show, marked, in the protocol console.
    QCOMPARE(Lines(f.Memo2).filter(QRegularExpression("^=> Enviado: 01 (03|10) ")).size(),
             sentFrames);
    QVERIFY(f.BitBtn1->isEnabled());
    QCOMPARE(f.replayButton->text(), QString("Reproducir captura"));
    QFile::remove(path);
  }
};

QTEST_MAIN(ReplayE2eTest)
#include "replay_e2e_test.moc"
