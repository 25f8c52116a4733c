#include "monitor/Consoles.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "app/Files.h"
#include "monitor/Monitor.h"

namespace {
// The text document compacts its buffer as old lines go, freeing the old
// copy (tens of MB); glibc keeps such freed pages unless asked. Asking costs
// a few ms, so it is done now and then, outside the receiver's tick.
constexpr qint64 kReleaseEvery = 10000;  // lines dropped
constexpr int kMappedFrom = 1 << 20;      // bytes: allocations this big get their own pages

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

// Highlighting every match of a short word in 200 000 lines would cost more
// than it shows; the count stays exact.
constexpr int kMaxHighlighted = 5000;

QPushButton* Button(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

// The grid of the page a console sits on; the memo fills its row 0.
QGridLayout* PageGrid(QPlainTextEdit* memo) {
  return qobject_cast<QGridLayout*>(memo->parentWidget()->layout());
}
}  // namespace

ConsoleTools::ConsoleTools(std::array<QPlainTextEdit*, 3> memos, QWidget* window)
    : QObject(window) {
#if defined(__GLIBC__)
  // A console's text buffer (up to tens of MB) regrows as lines arrive, in
  // the receiver's tick. Mapped on its own, it regrows by remapping pages;
  // from the heap it is copied whole. The setting holds for the process.
  mallopt(M_MMAP_THRESHOLD, kMappedFrom);
#endif
  for (std::size_t i = 0; i < memos.size(); ++i) {
    states_[i].memo = memos[i];
    Track(states_[i]);
  }
  SetMaxLines(kDefaultMaxLines);
  QWidget* debugPage = memos[0]->parentWidget();

  findBar = new QWidget(debugPage);
  findBar->setObjectName("findBar");
  findEdit = new QLineEdit(findBar);
  findEdit->setObjectName("findEdit");
  findEdit->setPlaceholderText("Buscar");
  findPreviousButton = Button("findPreviousButton", "Anterior", findBar);
  findNextButton = Button("findNextButton", "Siguiente", findBar);
  findCaseCheck = new QCheckBox("Mayúsculas", findBar);
  findCaseCheck->setObjectName("findCaseCheck");
  findCount = new QLabel(findBar);
  findCount->setObjectName("findCount");
  auto* closeButton = Button("findCloseButton", "Cerrar", findBar);
  auto* bar = new QHBoxLayout(findBar);
  bar->setContentsMargins(0, 0, 0, 0);
  bar->addWidget(findEdit, 1);
  for (QWidget* widget : std::initializer_list<QWidget*>{findPreviousButton, findNextButton,
                                                         findCaseCheck, findCount, closeButton})
    bar->addWidget(widget);
  findBar->hide();

  timestampCheck = new QCheckBox("Hora", debugPage);
  timestampCheck->setObjectName("timestampCheck");
  followButton = Button("followButton", "Seguir", debugPage);
  followButton->hide();
  saveButton = Button("saveConsoleButton", "Guardar consola", debugPage);
  saveDialog.name = "SaveDialogConsola";
  saveDialog.kind = FileDialog::Kind::Save;
  saveDialog.fileName = "Consola.txt";
  saveDialog.defaultExt = ".txt";
  saveDialog.filter = "Texto|*.txt";

  QGridLayout* grid = PageGrid(memos[0]);
  for (int i = 0; i < 2; ++i) {
    droppedLabels[std::size_t(i)] = new QLabel(debugPage);
    droppedLabels[std::size_t(i)]->setObjectName(QString("droppedLabel%1").arg(i + 1));
    droppedLabels[std::size_t(i)]->hide();
    grid->addWidget(droppedLabels[std::size_t(i)], 2, i);
  }
  auto* row = new QHBoxLayout();
  for (QWidget* widget : std::initializer_list<QWidget*>{timestampCheck, followButton, saveButton})
    row->addWidget(widget);
  row->addStretch(1);
  grid->addLayout(row, 3, 0, 1, 2);
  grid->addWidget(findBar, 4, 0, 1, 2);

  auto* shortcut = new QShortcut(QKeySequence::Find, window);
  connect(shortcut, &QShortcut::activated, this, &ConsoleTools::OpenFind);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), findBar);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, &ConsoleTools::CloseFind);
  connect(closeButton, &QPushButton::clicked, this, &ConsoleTools::CloseFind);
  connect(findEdit, &QLineEdit::textChanged, this, &ConsoleTools::Search);
  connect(findCaseCheck, &QCheckBox::toggled, this, &ConsoleTools::Search);
  connect(findEdit, &QLineEdit::returnPressed, this, [this] { FindStep(false); });
  connect(findNextButton, &QPushButton::clicked, this, [this] { FindStep(false); });
  connect(findPreviousButton, &QPushButton::clicked, this, [this] { FindStep(true); });
  connect(followButton, &QPushButton::clicked, this, &ConsoleTools::Follow);
  connect(saveButton, &QPushButton::clicked, this, &ConsoleTools::SaveConsole);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    for (State& state : states_)
      if (now == state.memo) focused_ = state.memo;
  });
}

void ConsoleTools::Track(State& state) {
  QScrollBar* bar = state.memo->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, &state, bar](int value) {
    if (adjusting_) return;
    state.following = value >= bar->maximum();
    ShowFollow();
  });
}

ConsoleTools::State& ConsoleTools::StateOf(const QPlainTextEdit* memo) {
  return *const_cast<State*>(FindState(memo));
}

const ConsoleTools::State* ConsoleTools::FindState(const QPlainTextEdit* memo) const {
  for (const State& state : states_)
    if (state.memo == memo) return &state;
  return &states_[0];
}

qint64 ConsoleTools::Dropped(const QPlainTextEdit* memo) const { return FindState(memo)->dropped; }

bool ConsoleTools::Following(const QPlainTextEdit* memo) const {
  return FindState(memo)->following;
}

void ConsoleTools::Append(QPlainTextEdit* memo, const QStringList& lines) {
  if (lines.isEmpty()) return;
  State& state = StateOf(memo);
  QString text;
  if (timestampCheck->isChecked()) {
    const QString stamp = clock().toString("HH:mm:ss.zzz ");
    QStringList stamped;
    stamped.reserve(lines.size());
    for (const QString& line : lines) stamped << stamp + line;
    text = stamped.join('\n');
  } else {
    text = lines.join('\n');
  }
  QScrollBar* bar = memo->verticalScrollBar();
  const int at = bar->value();
  adjusting_ = true;
  memo->appendPlainText(text);
  bar->setValue(state.following ? bar->maximum() : at);
  adjusting_ = false;
  // Undo stays on for the tick's edits so that the document never compacts
  // its buffer here; nothing is kept to undo.
  memo->document()->clearUndoRedoStacks();
  if (memo->document()->blockCount() > maxLines_) QueueCut();
}

void ConsoleTools::QueueCut() {
  if (cutQueued_) return;
  cutQueued_ = true;
  QTimer::singleShot(0, this, &ConsoleTools::CutOldLines);
}

// Old lines go in the event loop, after the tick that brought the new ones.
// With undo off their text counts as garbage, and the document copies its
// whole buffer (tens of MB) when that garbage is collected: a cost the
// receiver's tick must not carry.
void ConsoleTools::CutOldLines() {
  cutQueued_ = false;
  for (std::size_t i = 0; i < droppedLabels.size(); ++i) {
    State& state = states_[i];
    QTextDocument* document = state.memo->document();
    const int excess = document->blockCount() - maxLines_;
    if (excess <= 0) continue;
    QScrollBar* bar = state.memo->verticalScrollBar();
    const int at = bar->value();
    adjusting_ = true;
    document->setUndoRedoEnabled(false);
    // Qt's own block limit lays out every line it drops; one selection does not.
    QTextCursor cut(document);
    cut.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    document->setUndoRedoEnabled(true);
    // The lines in view stay in view while older ones go above them.
    bar->setValue(state.following ? bar->maximum() : std::max(0, at - excess));
    adjusting_ = false;
    state.dropped += excess;
    Release(excess);
    // The highlights' cursors follow the document; the positions are found again on the next step.
    if (state.memo == target_) stale_ = true;
  }
  ShowDropped();
}

// Called from the event loop only (the cut, "&Limpiar"), never from the tick.
void ConsoleTools::Release(qint64 lines) {
  sinceRelease_ += lines;
  if (sinceRelease_ < kReleaseEvery) return;
  ReleaseFreedMemory();
  sinceRelease_ = 0;
}

void ConsoleTools::Empty() {
  // The debug consoles keep their documents' block and fragment tables: a
  // new document would regrow them to 8 MB again by copying, in the
  // receiver's ticks, while the consoles fill up. Their text goes at once.
  for (std::size_t i = 0; i < 2; ++i) {
    QTextDocument* document = states_[i].memo->document();
    document->setUndoRedoEnabled(false);
    QTextCursor all(document);
    all.select(QTextCursor::Document);
    all.removeSelectedText();
    document->setUndoRedoEnabled(true);
  }
  states_[2].memo->clear();
  Cleared();
}

void ConsoleTools::Cleared() {
  Release(kReleaseEvery);
  for (State& state : states_) {
    state.dropped = 0;
    state.following = true;
  }
  ShowDropped();
  ShowFollow();
  if (findBar->isVisible()) Search();
}

void ConsoleTools::SetMaxLines(int lines) {
  maxLines_ = std::max(1, lines);
  // The debug consoles keep no undo history (see Append); the download
  // page's log has few lines, appended elsewhere, and Qt's own limit.
  states_[0].memo->setUndoRedoEnabled(true);
  states_[1].memo->setUndoRedoEnabled(true);
  states_[2].memo->setUndoRedoEnabled(false);
  states_[2].memo->setMaximumBlockCount(maxLines_);
  QueueCut();
}

void ConsoleTools::ShowDropped() {
  for (std::size_t i = 0; i < droppedLabels.size(); ++i) {
    const qint64 dropped = states_[i].dropped;
    droppedLabels[i]->setVisible(dropped > 0);
    droppedLabels[i]->setText(
        QString("Líneas antiguas descartadas: %1 (se muestran las últimas %2)")
            .arg(dropped)
            .arg(maxLines_));
  }
}

void ConsoleTools::ShowFollow() {
  bool all = true;
  for (const State& state : states_) all = all && state.following;
  followButton->setVisible(!all);
}

void ConsoleTools::Follow() {
  adjusting_ = true;
  for (State& state : states_) {
    state.following = true;
    state.memo->verticalScrollBar()->setValue(state.memo->verticalScrollBar()->maximum());
  }
  adjusting_ = false;
  ShowFollow();
}

QPlainTextEdit* ConsoleTools::Focused() const {
  for (const State& state : states_)
    if (state.memo->hasFocus()) return state.memo;
  return focused_ ? focused_ : states_[0].memo;
}

void ConsoleTools::OpenFind() {
  target_ = Focused();
  QGridLayout* grid = PageGrid(target_);
  if (findBar->parentWidget() != target_->parentWidget()) {
    if (QGridLayout* old = qobject_cast<QGridLayout*>(findBar->parentWidget()->layout()))
      old->removeWidget(findBar);
    findBar->setParent(target_->parentWidget());
    grid->addWidget(findBar, 4, 0, 1, grid->columnCount());
  }
  // Ctrl+F from another page finds in the console last used: bring it to the front.
  QWidget* page = target_->parentWidget();
  for (QWidget* up = page->parentWidget(); up; up = up->parentWidget())
    if (auto* tabs = qobject_cast<QTabWidget*>(up)) {
      if (tabs->indexOf(page) >= 0) tabs->setCurrentWidget(page);
      break;
    }
  findBar->show();
  findEdit->setFocus();
  findEdit->selectAll();
  Search();
}

void ConsoleTools::CloseFind() {
  findBar->hide();
  matches_.clear();
  current_ = -1;
  if (target_) {
    target_->setExtraSelections({});
    target_->setFocus();
  }
}

void ConsoleTools::Search() {
  stale_ = false;
  matches_.clear();
  current_ = -1;
  if (!target_) return;
  const QString word = findEdit->text();
  if (!word.isEmpty()) {
    // Positions in the plain text are positions in the document.
    const QString text = target_->toPlainText();
    const Qt::CaseSensitivity sensitivity =
        findCaseCheck->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (qsizetype at = text.indexOf(word, 0, sensitivity); at >= 0;
         at = text.indexOf(word, at + word.size(), sensitivity))
      matches_.push_back(int(at));
  }
  Highlight();
}

void ConsoleTools::FindStep(bool backwards) {
  if (stale_) Search();
  if (matches_.empty()) return;
  const int count = int(matches_.size());
  if (current_ < 0) {
    // Start from the cursor: the first match after it (or before it, backwards).
    const int cursor = target_->textCursor().position();
    const auto after = std::lower_bound(matches_.begin(), matches_.end(), cursor);
    current_ = int(after - matches_.begin());
    if (backwards) --current_;
    current_ = (current_ + count) % count;
  } else {
    current_ = (current_ + (backwards ? count - 1 : 1)) % count;
  }
  QTextCursor cursor(target_->document());
  cursor.setPosition(matches_[std::size_t(current_)]);
  cursor.setPosition(matches_[std::size_t(current_)] + int(findEdit->text().size()),
                     QTextCursor::KeepAnchor);
  target_->setTextCursor(cursor);
  target_->ensureCursorVisible();
  Highlight();
}

void ConsoleTools::Highlight() {
  if (!target_) return;
  QList<QTextEdit::ExtraSelection> selections;
  const int length = int(findEdit->text().size());
  QTextCharFormat all;
  all.setBackground(QColor(255, 230, 120));
  QTextCharFormat current;
  current.setBackground(QColor(255, 150, 50));
  for (std::size_t i = 0; i < matches_.size() && (int(i) < kMaxHighlighted || int(i) == current_);
       ++i) {
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(target_->document());
    selection.cursor.setPosition(matches_[i]);
    selection.cursor.setPosition(matches_[i] + length, QTextCursor::KeepAnchor);
    selection.format = int(i) == current_ ? current : all;
    selections << selection;
  }
  target_->setExtraSelections(selections);
  if (findEdit->text().isEmpty())
    findCount->clear();
  else if (matches_.empty())
    findCount->setText("Sin coincidencias");
  else if (current_ < 0)
    findCount->setText(QString("%1 coincidencias").arg(matches_.size()));
  else
    findCount->setText(QString("%1 de %2").arg(current_ + 1).arg(matches_.size()));
}

void ConsoleTools::SaveConsole() {
  QPlainTextEdit* memo = Focused();
  if (!saveDialog.execute()) return;
  // The unit's 8-bit text with CR LF line ends, as the log file keeps it.
  std::string bytes;
  for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next()) {
    if (block == memo->document()->begin() && memo->document()->isEmpty()) break;
    bytes += ToCp1252(block.text());
    bytes += "\r\n";
  }
  if (!WriteWholeFile(saveDialog.fileName, bytes.data(), bytes.size()))
    CurrentDialogs().Message("No se pudo guardar la consola");
}
