#include "fuzz/FuzzSupport.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "app/Log.h"
#include "inventory/Inventory.h"
#include "firmware/DownLoad.h"
#include "link/Unit1.h"
#include "protocol/Protocol.h"

namespace {
QuietDialogs* quietDialogs = nullptr;
// Beyond this many lines a console is emptied before the next input.
constexpr int kConsoleLines = 2000;
}  // namespace

bool QuietDialogs::ChooseFile(FileDialog& dialog) {
  if (file.isEmpty()) return false;
  dialog.fileName = file;
  return true;
}

void StartFuzzApplication() {
  if (QApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Kept for the life of the process, as QApplication requires.
  static int argc = 1;
  static char name[] = "qirel-fuzz";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  auto dialogs = std::make_unique<QuietDialogs>();
  quietDialogs = dialogs.get();
  SetDialogs(std::move(dialogs));
}

QuietDialogs& FuzzDialogs() {
  StartFuzzApplication();
  return *quietDialogs;
}

TForm1& FuzzWindow() {
  StartFuzzApplication();
  static TForm1* form = [] {
    auto* created = new TForm1;
    for (QTimer* timer : {created->Timer1, created->Timer2, created->Timer3, created->Timer4,
                          created->Timer5})
      timer->stop();
    created->BitBtn2->setEnabled(true);  // connected, without a port
    created->inventory.reset();  // millions of inputs are no units to remember
    return created;
  }();
  return *form;
}

void ResetWindowState(TForm1& form) {
  if (downloadSession.IsActive()) downloadSession.Stop();
  downloadSession.Close();
  downloadSession.SetFileName({});
  for (QTimer* timer : {form.Timer1, form.Timer2, form.Timer3, form.Timer4, form.Timer5})
    timer->stop();
  form.BitBtn2->setEnabled(true);
  pendingRequest = 0;
  replyType = 0;
  replyLength = 0;
  lineLength = 0;
  remoteReplyCount = 0;
  portInbox.count = 0;
  downloadRxCount = 0;
  noDataTicks = 0;
  dataTicks = 0;
  FuzzDialogs().confirmAnswer = true;
  FuzzDialogs().file.clear();
  if (std::max({form.Memo1->blockCount(), form.Memo2->blockCount(), form.Memo3->blockCount()}) >
      kConsoleLines)
    form.BitBtn23Click();
}

TForm1& RestedWindow() {
  TForm1& form = FuzzWindow();
  ResetWindowState(form);
  return form;
}

std::vector<std::uint8_t> FuzzReader::Bytes(std::size_t count) {
  count = std::min(count, Left());
  std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + count);
  at_ += count;
  return out;
}

std::vector<std::uint8_t> FuzzReader::Exactly(std::size_t count) {
  std::vector<std::uint8_t> out = Bytes(count);
  out.resize(count, 0);
  return out;
}
