// Digital output, digital input and analog input blocks: write frames byte
// for byte, read-backs into the fields, and fields that are no integer.
#include <QtTest>

#include "app/Log.h"
#include "config/Config.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
Bytes Reply(const Bytes& payload) {
  Bytes frame{0x01, 0x03, std::uint8_t(payload.size())};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return FrameWithCrc(frame);
}
}  // namespace

class IoBlocksTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    pendingRequest = 0;
    registerMapVariant = 0;
  }

  void digitalOutput() {
    WiredForm form;
    form->BitBtn4->click();
    QCOMPARE(form.Sent(8), std::string("01 03 4E 40 00 03 13 37"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Dout PEDIDO!"));
    QCOMPARE(pendingRequest, 72);

    form->BitBtn5->click();  // start-up values
    QCOMPARE(form.Sent(15), std::string("01 10 4E 40 00 03 06 0B B8 00 01 0B B8 72 9F"));
    QCOMPARE(form->StatusText(), QString("Estado: escritura de Di configuracion enviada!"));
    QCOMPARE(pendingRequest, 73);
    form.Answer(HexBytes("01 10 4E 40 00 03 96 F4"));
    QCOMPARE(form->StatusText(), QString("Estado: escritura de Do configuracion OK!"));

    form->LabeledEdit38->setText("10");
    QTest::mouseClick(form->RadioButton3, Qt::LeftButton);
    QVERIFY(!form->LabeledEdit9->isEnabled());
    form->LabeledEdit9->setText("2000");
    form->BitBtn5->click();  // the disabled width still goes out
    QCOMPARE(form.Sent(15), std::string("01 10 4E 40 00 03 06 00 0A 00 00 07 D0 1E D0"));

    form->BitBtn4->click();
    form.Sent(8);
    form.Answer(Reply(HexBytes("FF FF 01 00 00 64")));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Configuracion DOut Recibido!"));
    QCOMPARE(form->LabeledEdit38->text(), QString("65535"));
    QVERIFY(form->RadioButton1->isChecked() && form->LabeledEdit9->isEnabled());
    QCOMPARE(form->LabeledEdit9->text(), QString("100"));
    form->DecodeDigitalOutput(HexBytes("00 01 00 00 00 02").data());
    QVERIFY(form->RadioButton3->isChecked() && !form->LabeledEdit9->isEnabled());

    form->LabeledEdit38->setText("-1");
    form->BitBtn5->click();
    QCOMPARE(form.Sent(15).substr(21, 5), std::string("FF FF"));
  }

  void digitalInputs() {
    WiredForm form;
    form->BitBtn31->click();
    QCOMPARE(form.Sent(8), std::string("01 03 4E 89 00 06 03 0A"));
    QCOMPARE(pendingRequest, 70);
    form->BitBtn32->click();
    QCOMPARE(form.Sent(8), std::string("01 03 4E AB 00 06 A3 00"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Di 2 PEDIDO!"));

    form->invertChecks[0]->setChecked(true);
    form->invertChecks[2]->setChecked(true);
    form->lacthTimeEdits[0]->setText("30");
    form->lacthTimeEdits[4]->setText("45");  // only the group's first field is sent
    form->latchChecks[1]->setChecked(true);
    form->pulsoCombos[7]->setCurrentIndex(1);
    form->logicInvertChecks[0]->setChecked(true);
    form->BitBtn33->click();
    QCOMPARE(form.Sent(21), std::string("01 10 4E 89 00 06 0C 00 05 00 1E 00 02 00 00 00 80 00 01 8B 12"));
    QCOMPARE(form->StatusText(), QString("Estado: escritura configuracion de Di 1 enviada!"));
    form.Answer(HexBytes("01 10 4E 89 00 06 86 C9"));
    QCOMPARE(form->StatusText(), QString("Estado: escritura de configuracion Di 1 OK!"));

    form->lacthTimeEdits[8]->setText("70000");
    form->BitBtn44->click();
    QCOMPARE(form.Sent(21).substr(0, 32), std::string("01 10 4E AB 00 06 0C 00 00 11 70"));
    QCOMPARE(pendingRequest, 74);

    // Ignored high-order bytes full of ones set nothing beyond the masks.
    form->BitBtn32->click();
    form.Sent(8);
    form.Answer(Reply(HexBytes("FF 01 01 2C FF 02 FF 00 FF 80 FF 00")));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Configuracion DI 2 Recibido"));
    for (int k = 0; k < 8; ++k) {
      QCOMPARE(form->lacthTimeEdits[8 + k]->text(), QString("300"));
      QCOMPARE(form->invertChecks[8 + k]->isChecked(), k == 0);
      QCOMPARE(form->latchChecks[8 + k]->isChecked(), k == 1);
      QVERIFY(!form->latchResetChecks[8 + k]->isChecked());
      QCOMPARE(form->pulsoCombos[8 + k]->currentIndex(), k == 7 ? 1 : 0);
      QVERIFY(!form->logicInvertChecks[8 + k]->isChecked());
    }
    QCOMPARE(form->lacthTimeEdits[0]->text(), QString("30"));  // the other group stays
  }

  void analogInputs() {
    WiredForm form;
    form->BitBtn86->click();
    QCOMPARE(form.Sent(8), std::string("01 03 4E 97 00 14 E3 01"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura de configuracion Ai 1 PEDIDO!"));
    form->BitBtn51->click();
    QCOMPARE(form.Sent(8), std::string("01 03 4E B9 00 14 83 08"));
    QCOMPARE(pendingRequest, 802);

    form->ceroEdits[0]->setText("-5");
    form->aiHisEdits[0]->setText("10");
    form->currentChecks[0]->setChecked(true);
    form->aiHisEdits[1]->setText("40000");
    form->voltageChecks[1]->setChecked(true);
    form->spanEdits[3]->setText("1000");
    form->BitBtn87->click();
    const Bytes write = HexBytes(form.Sent(49).c_str());
    QCOMPARE(Hex(Bytes(write.begin(), write.begin() + 7)), std::string("01 10 4E 97 00 14 28"));
    QCOMPARE(Hex(Bytes(write.begin() + 7, write.begin() + 9)), std::string("FF FB"));
    QCOMPARE(Hex(Bytes(write.begin() + 21, write.begin() + 23)), std::string("03 E8"));
    QCOMPARE(Hex(Bytes(write.begin() + 39, write.begin() + 47)), std::string("80 0A 9C 40 00 00 00 00"));
    QCOMPARE(pendingRequest, 801);
    QCOMPARE(form->StatusText(), QString("Estado: escritura de Ai configuracion enviada!"));

    // Read back what was written, into inputs 5-8.
    form->BitBtn51->click();
    form.Sent(8);
    form.Answer(Reply(Bytes(write.begin() + 7, write.begin() + 47)));
    QCOMPARE(form->StatusText(), QString("Estado: Configuracion Ai 2 recibida"));
    QCOMPARE(form->ceroEdits[4]->text(), QString("65531"));
    QCOMPARE(form->aiHisEdits[4]->text(), QString("10"));
    QVERIFY(form->currentChecks[4]->isChecked());
    QCOMPARE(form->aiHisEdits[5]->text(), QString("7232"));
    QVERIFY(form->currentChecks[5]->isChecked());  // 40000 carries bit 15
    QVERIFY(form->voltageChecks[6]->isChecked());   // neither checked goes out as voltage
    QCOMPARE(form->spanEdits[7]->text(), QString("1000"));

    form->BitBtn52->click();
    QCOMPARE(form.Sent(49).substr(0, 20), std::string("01 10 4E B9 00 14 28"));
    QCOMPARE(form->StatusText(), QString("Estado: escritura de configuracion Ai 2 enviada!"));

    registerMapVariant = 8;  // a project-35 unit reads inputs 1-4 elsewhere
    form->BitBtn86->click();
    QCOMPARE(form.Sent(8), std::string("01 03 4E 20 00 14 53 27"));
    form->BitBtn87->click();
    QCOMPARE(form.Sent(49).substr(0, 20), std::string("01 10 4E 97 00 14 28"));
  }

  void fieldsThatAreNoIntegerSendNothing() {
    WiredForm form;
    DialogScript dialogs;
    pendingRequest = 72;
    form->aiHisEdits[0]->setText("1.5");
    form->alLowEdits[2]->setText("");  // earlier in block order than the hysteresis
    form->BitBtn87->click();
    form->LabeledEdit9->setText("99999999999");
    form->BitBtn5->click();
    form->lacthTimeEdits[8]->setText("abc");
    form->BitBtn44->click();
    form->lacthTimeEdits[9]->setText("abc");  // not the group's first: never read
    QCOMPARE(dialogs->errors, QStringList({"'' is not a valid integer value",
                                           "'99999999999' is not a valid integer value",
                                           "'abc' is not a valid integer value"}));
    QVERIFY(form.NothingSent());
    QCOMPARE(pendingRequest, 72);
    QCOMPARE(form->StatusText(), QString("Estado:"));
  }

  void blockCodecs() {
    const auto slot = EncodeTextSlot("ABC", 16);
    QCOMPARE(Hex(*slot), std::string("42 41 00 43 00 00 00 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(DecodeTextSlot(*slot), std::string("ABC"));
    QVERIFY(!EncodeTextSlot(std::string(16, 'x'), 16));
    QCOMPARE(DecodeTextSlot(*EncodeTextSlot(std::string(15, 'x'), 16)), std::string(15, 'x'));
    QCOMPARE(DecodeTextSlot(Bytes(4, 'y')), std::string("yyyy"));  // no terminator
  }
};

QTEST_MAIN(IoBlocksTest)
#include "io_blocks_test.moc"
