#include "gui/CmdOptionsDlg.h"

#include <QBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/CommandLine.h"

namespace rastra {

CmdOptionsDlg::CmdOptionsDlg(QWidget* parent)
    : QDialog(parent), text_(new QPlainTextEdit(this)), ok_(new QPushButton(tr("Ok"), this)) {
  setWindowTitle(tr("Command line options"));
  setMinimumSize(500, 300);
  // The composed text ends its lines with CR LF; the edit wants plain line feeds.
  text_->setPlainText(QString::fromStdString(ComposeHelpText()).replace("\r\n", "\n"));
  text_->setReadOnly(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(ok_, 0, Qt::AlignRight);
  connect(ok_, &QPushButton::released, this, &CmdOptionsDlg::OnButtonOk);
}

void CmdOptionsDlg::OnButtonOk() { accept(); }

}  // namespace rastra
