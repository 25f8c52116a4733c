// "Guardar Configuracion" and "Leer Configuracion": the configuration page
// fields to a JSON profile file and back. Neither talks to the unit.
#include "profile/Profile.h"

#include "profile/ProfilePage.h"

#include <QDir>
#include <QFile>
#include <algorithm>

#include "app/Convert.h"
#include "app/Files.h"
#include "app/Log.h"
#include "monitor/Monitor.h"

namespace {
std::string Utf8(const QString& text) { return text.toStdString(); }

// Well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF). A sequence cut short by the end of the file is damage, not
// another code page, so it does not count against the text.
bool IsUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t more = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    for (std::size_t k = 1; k <= more; ++k) {
      if (i + k == bytes.size()) return true;
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += more + 1;
  }
  return true;
}

// Profiles are written as UTF-8; one that is not was saved by an editor in
// Windows-1252, the code page of the technicians' laptops.
std::string ProfileTextAsUtf8(const QByteArray& bytes) {
  const std::string_view text(bytes.constData(), std::size_t(bytes.size()));
  return IsUtf8(text) ? std::string(text) : FromCp1252(text).toStdString();
}

ProfileValues ReadPage(const TForm1& form) {
  ProfileValues values;
  values.id = Utf8(form.Edit16->text());
  values.period = Utf8(form.Edit18->text());
  const std::array<std::pair<QLineEdit*, QLineEdit*>, 3> servers{
      {{form.Edit1, form.Edit13}, {form.Edit5, form.Edit14}, {form.Edit9, form.Edit15}}};
  for (std::size_t k = 0; k < 3; ++k)
    values.servers[k] = {Utf8(servers[k].first->text()), Utf8(servers[k].second->text())};
  values.vpn = form.CheckBox7->isChecked();
  values.simA = form.CheckBox43->isChecked();
  values.simB = form.CheckBox42->isChecked();
  values.baudRate = form.ComboBox5->currentIndex();
  values.dataBits = form.ComboBox6->currentIndex();
  values.parity = form.ComboBox7->currentIndex();
  values.stopBits = form.ComboBox8->currentIndex();
  values.serialWait = Utf8(form.LabeledEdit5->text());
  values.serialPort = form.SeleccionPuerto->itemIndex();
  const std::array<std::pair<QLineEdit*, QCheckBox*>, 3> sms{
      {{form.LabeledEdit2, form.CheckBox1},
       {form.LabeledEdit3, form.CheckBox3},
       {form.LabeledEdit12, form.CheckBox4}}};
  for (std::size_t k = 0; k < 3; ++k)
    values.sms[k] = {Utf8(sms[k].first->text()), sms[k].second->isChecked()};
  values.smsId = Utf8(form.Edit2->text());
  for (std::size_t k = 0; k < 8; ++k) values.digitalAlarms[k] = form.digitalChecks[k]->isChecked();
  for (std::size_t k = 0; k < 4; ++k)
    values.analogAlarms[k] = {form.analogLowChecks[k]->isChecked(),
                              form.analogHiChecks[k]->isChecked()};
  for (std::size_t k = 0; k < 16; ++k)
    values.inputs[k] = {form.invertChecks[k]->isChecked(), form.logicInvertChecks[k]->isChecked(),
                        form.latchChecks[k]->isChecked(), form.latchResetChecks[k]->isChecked(),
                        form.pulsoCombos[k]->currentIndex() != 0};
  // One latch time per group of eight: each group's first field.
  values.latchTime = Utf8(form.lacthTimeEdits[0]->text());
  values.latchTime2 = Utf8(form.lacthTimeEdits[8]->text());
  for (std::size_t k = 0; k < 8; ++k)
    values.analogInputs[k] = {Utf8(form.ceroEdits[k]->text()), Utf8(form.spanEdits[k]->text()),
                              Utf8(form.alLowEdits[k]->text()), Utf8(form.alHiEdits[k]->text()),
                              Utf8(form.aiHisEdits[k]->text())};
  // 64 analog rows although 48 are shown: the grid holds the rest.
  for (int row = 1; row <= 64; ++row) {
    for (int col = 1; col <= 3; ++col)
      values.modbusDigital[row - 1][col - 1] = Utf8(form.modbusGrid1->cell(col, row));
    for (int col = 1; col <= 6; ++col)
      values.modbusAnalog[row - 1][col - 1] = Utf8(form.modbusGrid2->cell(col, row));
  }
  for (int row = 1; row <= 8; ++row)
    values.tagDigital[row - 1] = Utf8(form.tagDigital->cell(1, row));
  for (int row = 1; row <= 4; ++row) values.tagAnalog[row - 1] = Utf8(form.tagAnalog->cell(1, row));
  return values;
}

// The text of a pair; nullopt when the key is missing or holds an array or object.
std::optional<QString> Text(const ProfileJson& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  const std::optional<std::string> text = ScalarText(*it);
  if (!text) return std::nullopt;
  return QString::fromStdString(*text);
}

// The forms a value is read back in. Every one that needs an integer throws
// the conversion error for a value that is not one.
void LoadText(const ProfileJson& object, const char* key, QLineEdit* edit) {
  if (const auto text = Text(object, key)) edit->setText(*text);
}

void LoadFlag(const ProfileJson& object, const char* key, QAbstractButton* box) {
  if (const auto text = Text(object, key)) box->setChecked(StrToInt(*text) != 0);
}

void LoadIndex(const ProfileJson& object, const char* key, QComboBox* combo) {
  if (const auto text = Text(object, key)) combo->setCurrentIndex(StrToInt(*text));
}

void LoadIndex(const ProfileJson& object, const char* key, RadioGroup* group) {
  if (const auto text = Text(object, key)) group->setItemIndex(StrToInt(*text));
}

// A number shown again in decimal: "0012" comes back as "12".
std::optional<QString> Number(const ProfileJson& object, const char* key) {
  const auto text = Text(object, key);
  if (!text) return std::nullopt;
  return QString::number(StrToInt(*text));
}

void LoadNumber(const ProfileJson& object, const char* key, QLineEdit* edit) {
  if (const auto number = Number(object, key)) edit->setText(*number);
}

void LoadNumber(const ProfileJson& object, const char* key, StringGrid* grid, int col, int row) {
  if (const auto number = Number(object, key)) grid->setCell(col, row, *number);
}

// Element k of an array pair goes to control k; elements beyond the controls
// and elements that are not objects are skipped.
template <class Apply>
void ForEachElement(const ProfileJson& profile, const char* key, std::size_t controls,
                    Apply apply) {
  const auto it = profile.find(key);
  if (it == profile.end() || !it->is_array()) return;
  const std::size_t count = std::min(controls, it->size());
  for (std::size_t k = 0; k < count; ++k)
    if ((*it)[k].is_object()) apply((*it)[k], k);
}

// Key by key in a fixed order; a value that must be an integer and is not
// stops the load there with the keys before it applied.
void ApplyProfile(TForm1& form, const ProfileJson& profile) {
  if (!profile.is_object()) return;

  if (const auto it = profile.find("perfil"); it != profile.end()) {
    // Shown, not checked: a profile of any other name loads the same.
    form.Memo1->appendPlainText(QString::fromStdString("\"perfil\":" + ProfileText(*it)));
    form.Memo1->appendPlainText(QString::fromStdString(ScalarText(*it).value_or(ProfileText(*it))));
  }
  LoadText(profile, "id", form.Edit16);
  LoadText(profile, "periodo", form.Edit18);
  const std::array<std::pair<QLineEdit*, QLineEdit*>, 3> servers{
      {{form.Edit1, form.Edit13}, {form.Edit5, form.Edit14}, {form.Edit9, form.Edit15}}};
  ForEachElement(profile, "ip", 3, [&](const ProfileJson& server, std::size_t k) {
    LoadText(server, "address", servers[k].first);
    LoadText(server, "port", servers[k].second);
  });
  LoadFlag(profile, "vpn", form.CheckBox7);
  LoadFlag(profile, "simA", form.CheckBox43);
  LoadFlag(profile, "simB", form.CheckBox42);
  LoadIndex(profile, "baudrate", form.ComboBox5);
  LoadIndex(profile, "bits", form.ComboBox6);
  LoadIndex(profile, "paridad", form.ComboBox7);
  LoadIndex(profile, "bitStop", form.ComboBox8);
  LoadText(profile, "serialWait", form.LabeledEdit5);
  LoadIndex(profile, "serialPort", form.SeleccionPuerto);
  const std::array<std::pair<QLineEdit*, QCheckBox*>, 3> sms{
      {{form.LabeledEdit2, form.CheckBox1},
       {form.LabeledEdit3, form.CheckBox3},
       {form.LabeledEdit12, form.CheckBox4}}};
  ForEachElement(profile, "sms", 3, [&](const ProfileJson& line, std::size_t k) {
    LoadText(line, "number", sms[k].first);
    LoadFlag(line, "alarm", sms[k].second);
  });
  ForEachElement(profile, "digitalSmsAlarms", 8, [&](const ProfileJson& alarm, std::size_t k) {
    LoadFlag(alarm, "digital", form.digitalChecks[k]);
  });
  ForEachElement(profile, "analogSmsAlarms", 4, [&](const ProfileJson& alarm, std::size_t k) {
    LoadFlag(alarm, "anaLow", form.analogLowChecks[k]);
    LoadFlag(alarm, "anaHi", form.analogHiChecks[k]);
  });
  LoadText(profile, "smsId", form.Edit2);
  ForEachElement(profile, "cfgDigital", 16, [&](const ProfileJson& input, std::size_t k) {
    LoadFlag(input, "inv", form.invertChecks[k]);
    LoadFlag(input, "logicInv", form.logicInvertChecks[k]);
    LoadFlag(input, "latch", form.latchChecks[k]);
    LoadFlag(input, "latchReset", form.latchResetChecks[k]);
    if (const auto pulse = Text(input, "pulsos"))
      form.pulsoCombos[k]->setCurrentIndex(StrToInt(*pulse) != 0 ? 1 : 0);
  });
  if (const auto latchTime = Text(profile, "latchTime"))
    for (LabeledEdit* edit : form.lacthTimeEdits) edit->setText(*latchTime);
  // Older profiles carry one latch time for both groups.
  if (const auto latchTime2 = Text(profile, "latchTime2"))
    for (std::size_t k = 8; k < 16; ++k) form.lacthTimeEdits[k]->setText(*latchTime2);
  ForEachElement(profile, "cfgAnalog", 8, [&](const ProfileJson& input, std::size_t k) {
    LoadNumber(input, "cero", form.ceroEdits[k]);
    LoadNumber(input, "span", form.spanEdits[k]);
    LoadNumber(input, "alLow", form.alLowEdits[k]);
    LoadNumber(input, "alHi", form.alHiEdits[k]);
    LoadNumber(input, "alHist", form.aiHisEdits[k]);
  });
  ForEachElement(profile, "modbusDigital", 64, [&](const ProfileJson& row, std::size_t k) {
    for (int col = 1; col <= 3; ++col)
      LoadNumber(row, kGatewayKeys[std::size_t(col - 1)], form.modbusGrid1, col, int(k) + 1);
  });
  ForEachElement(profile, "modbusAnalog", 64, [&](const ProfileJson& row, std::size_t k) {
    for (int col = 1; col <= 6; ++col)
      LoadNumber(row, kGatewayKeys[std::size_t(col - 1)], form.modbusGrid2, col, int(k) + 1);
  });
  ForEachElement(profile, "tagDigital", 8, [&](const ProfileJson& tag, std::size_t k) {
    if (const auto text = Text(tag, "digital")) form.tagDigital->setCell(1, int(k) + 1, *text);
  });
  ForEachElement(profile, "tagAnalog", 4, [&](const ProfileJson& tag, std::size_t k) {
    if (const auto text = Text(tag, "analog")) form.tagAnalog->setCell(1, int(k) + 1, *text);
  });
}
}  // namespace

void TForm1::ConnectProfile() {
  On(BitBtn8, &QPushButton::clicked, &TForm1::BitBtn8Click);
  On(BitBtn11, &QPushButton::clicked, &TForm1::BitBtn11Click);
}

void TForm1::BitBtn8Click() {
  if (!SaveDialog2.execute()) return;
  const std::string text = PageProfileText(*this);
  if (!WriteWholeFile(SaveDialog2.fileName, text.data(), text.size())) {
    CurrentDialogs().Error(QString("No se pudo guardar el perfil en %1")
                               .arg(QDir::toNativeSeparators(SaveDialog2.fileName)));
  }
}

void TForm1::BitBtn11Click() {
  if (!OpenDialog1.execute()) return;
  if (const auto profile = ReadProfileFile(OpenDialog1.fileName)) ApplyProfile(*this, *profile);
}

std::optional<ProfileJson> ReadProfileFile(const QString& fileName) {
  const QString path = QDir::toNativeSeparators(fileName);
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    // The technician chose this file; silence would look like a load.
    CurrentDialogs().Error(QString("No se pudo abrir el perfil %1").arg(path));
    return std::nullopt;
  }
  // One byte past the limit tells a file that is too big, whatever its kind.
  const QByteArray bytes = file.read(qint64(kMaxProfileBytes) + 1);
  if (bytes.size() > qsizetype(kMaxProfileBytes)) {
    CurrentDialogs().Error(
        QString("El archivo %1 es demasiado grande para ser un perfil (más de 1 MiB)").arg(path));
    return std::nullopt;
  }
  // UTF-8 as it is written, or Windows-1252 from another editor.
  return ParseProfile(ProfileTextAsUtf8(bytes));
}

bool ProfileFileIsWhole(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray bytes = file.read(qint64(kMaxProfileBytes) + 1);
  if (bytes.size() > qsizetype(kMaxProfileBytes)) return false;
  const ProfileJson whole = ProfileJson::parse(ProfileTextAsUtf8(bytes), nullptr, false);
  return !whole.is_discarded() && whole.is_object();
}

std::string PageProfileText(const TForm1& form) { return ProfileText(BuildProfile(ReadPage(form))); }

void LoadProfileIntoPage(TForm1& form, const ProfileJson& profile) { ApplyProfile(form, profile); }
