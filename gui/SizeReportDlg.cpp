#include "gui/SizeReportDlg.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>

#include "gui/ReportDetails.h"

namespace rastra {

namespace {

constexpr QSize kMinimumTable(240, 120);
// The heading, the footnote and the buttons below and above the table.
constexpr int kRoomForTheRest = 160;

// The columns of numbers (bits per pixel to .dta) read best right-aligned.
bool IsNumberColumn(std::size_t column) { return column >= 2 && column <= 6; }

// The byte columns (pixel data to .dta) with the status bar's thousands
// separators; the command line's report keeps plain numbers.
bool IsByteColumn(std::size_t column) { return column >= 3 && column <= 6; }

QString CellText(const std::string& text, std::size_t column) {
  const bool number = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!IsByteColumn(column) || !number || text.size() > 19) return QString::fromStdString(text);
  return ReportDetails::Count(std::stoull(text));
}

QTableWidgetItem* Cell(const std::string& text, std::size_t column, bool smallest) {
  auto* item = new QTableWidgetItem(CellText(text, column));
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  if (IsNumberColumn(column)) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  if (smallest) {
    QFont font = item->font();
    font.setBold(true);
    item->setFont(font);
  }
  return item;
}

}  // namespace

SizeReportDlg::SizeReportDlg(const std::string& heading, const std::vector<FormatSize>& rows, int& format,
                             QWidget* parent)
    : QDialog(parent),
      format_(format),
      table_(new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(kSizeReportColumns), this)),
      saveAs_(new QPushButton(tr("&Save as..."), this)),
      close_(new QPushButton(tr("Close"), this)) {
  setWindowTitle(tr("Size report"));
  QStringList headers;
  for (const std::string& header : SizeReportHeaders()) headers << QString::fromStdString(header);
  table_->setHorizontalHeaderLabels(headers);
  // The row header carries the command line's mark column.
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    formats_.push_back(rows[r].format);
    const SizeReportLine cells = SizeReportCells(rows[r]);
    for (std::size_t c = 0; c < cells.size(); ++c) {
      table_->setItem(static_cast<int>(r), static_cast<int>(c), Cell(cells[c], c, rows[r].smallest));
    }
    table_->setVerticalHeaderItem(static_cast<int>(r), new QTableWidgetItem(rows[r].smallest ? "*" : ""));
    if (rows[r].smallest) table_->selectRow(static_cast<int>(r));
  }
  table_->resizeColumnsToContents();
  // The whole table where the screen has room for it; on a smaller screen
  // (or a larger scale factor) the dialog fits and the table scrolls.
  const int tableWidth = table_->horizontalHeader()->length() + table_->verticalHeader()->width() +
                         2 * table_->frameWidth() + table_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const int tableHeight = table_->horizontalHeader()->height() + table_->verticalHeader()->length() +
                          2 * table_->frameWidth();
  table_->setMinimumSize(kMinimumTable);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(saveAs_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromStdString(heading), this));
  layout->addWidget(table_);
  auto* footnote = new QLabel(QString::fromStdString(SizeReportFootnote()), this);
  footnote->setWordWrap(true);
  layout->addWidget(footnote);
  layout->addLayout(buttons);
  const QMargins margins = layout->contentsMargins();
  preferred_ = QSize(tableWidth + margins.left() + margins.right(),
                     tableHeight + margins.top() + margins.bottom() + kRoomForTheRest);
  connect(saveAs_, &QPushButton::released, this, &SizeReportDlg::OnSaveAs);
  connect(close_, &QPushButton::released, this, &SizeReportDlg::reject);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OnRowActivated(row); });
}

void SizeReportDlg::OnSaveAs() {
  const QList<QTableWidgetItem*> selected = table_->selectedItems();
  if (selected.isEmpty()) return;
  OnRowActivated(selected.first()->row());
}

void SizeReportDlg::OnRowActivated(int row) {
  if (row < 0 || row >= static_cast<int>(formats_.size())) return;
  format_ = formats_[static_cast<std::size_t>(row)];
  accept();
}

}  // namespace rastra
