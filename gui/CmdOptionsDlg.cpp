#include "gui/CmdOptionsDlg.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QTextOption>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>

#include <algorithm>

#include "app/CommandLine.h"

namespace rastra {

namespace {

// The help's tabs were set for shorter command words: with some words the
// description starts a column later. Here each starts in one column, just
// right of the longest word, and the lines that go on under it keep their
// own tabs after that column.
QString AlignedHelp(const QString& help) {
  QStringList lines = help.split('\n');
  qsizetype widest = 0;
  for (const QString& line : lines) {
    if (line.startsWith('-')) widest = std::max(widest, line.indexOf('\t') < 0 ? line.size() : line.indexOf('\t'));
  }
  const QString indent(widest + 2, ' ');
  for (QString& line : lines) {
    if (line.isEmpty()) continue;
    const qsizetype tab = line.indexOf('\t');
    const bool command = line.startsWith('-');
    if (tab < 0 || (!command && tab != 0)) continue;
    qsizetype rest = tab;
    while (rest < line.size() && line[rest] == '\t') ++rest;
    const QString head = command ? line.left(tab) : QString();
    line = head.leftJustified(indent.size(), ' ') + line.mid(rest);
  }
  return lines.join('\n');
}

}  // namespace

CmdOptionsDlg::CmdOptionsDlg(QWidget* parent)
    : QDialog(parent), text_(new QPlainTextEdit(this)), ok_(new QPushButton(tr("Ok"), this)) {
  setWindowTitle(tr("Command line options"));
  setMinimumSize(500, 300);
  // The composed text ends its lines with CR LF; the edit wants plain line feeds.
  text_->setPlainText(AlignedHelp(QString::fromStdString(ComposeHelpText()).replace("\r\n", "\n")));
  text_->setReadOnly(true);
  // The help's columns are set with tabs at every eighth character, as a
  // terminal shows them: a fixed-pitch font with those tab stops keeps them
  // straight, and lines are not wrapped.
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  text_->setFont(fixed);
  const QFontMetricsF metrics(fixed);
  text_->setTabStopDistance(8 * metrics.horizontalAdvance(QLatin1Char(' ')));
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(ok_, 0, Qt::AlignRight);
  QTextOption tabs;
  tabs.setTabStopDistance(text_->tabStopDistance());
  qreal widest = 0;
  for (const QString& line : text_->toPlainText().split('\n')) widest = std::max(widest, metrics.horizontalAdvance(line, tabs));
  constexpr int kFrameAndScrollBar = 80;
  constexpr int kPreferredHeight = 560;
  preferred_ = QSize(static_cast<int>(widest) + kFrameAndScrollBar, kPreferredHeight).expandedTo(minimumSize());
  connect(ok_, &QPushButton::released, this, &CmdOptionsDlg::OnButtonOk);
}

void CmdOptionsDlg::OnButtonOk() { accept(); }

}  // namespace rastra
