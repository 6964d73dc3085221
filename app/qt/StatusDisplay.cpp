#include "app/qt/StatusDisplay.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QTableWidget>

namespace tamrix {

namespace {

// Column widths in pixels: row number, time, text. The time column is widened when the window's
// font would not fit the time text into it; the text column takes what the window has left.
constexpr int kNumberWidth = 30;
constexpr int kTimeWidth = 130;
constexpr int kTextWidth = 375;

}  // namespace

QString TextForDisplay(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

CStatusDisplay::CStatusDisplay(QTableWidget* list, QProgressBar* bar, QLabel* label)
    : list_(list), bar_(bar), label_(label) {
    SetUpList();
    bar_->setRange(0, 100);
}

void CStatusDisplay::SetUpList() {
    list_->setColumnCount(3);
    list_->setHorizontalHeaderLabels(
        {QStringLiteral("No"), QStringLiteral("Time"), QStringLiteral("Log")});
    QHeaderView* header = list_->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(true);
    const QFontMetrics metrics(list_->font());
    const int margin = 2 * list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
    list_->setColumnWidth(0, std::max(kNumberWidth, metrics.horizontalAdvance("000") + margin));
    list_->setColumnWidth(
        1, std::max(kTimeWidth, metrics.horizontalAdvance("0000-00-00 (00:00:00)") + margin));
    list_->setColumnWidth(2, kTextWidth);
    list_->verticalHeader()->setVisible(false);
    list_->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::MultiSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    // Every row stays selected; without the focus the selection is drawn as a light band, as a
    // list view shows a selection it keeps, so the list stays readable instead of one solid block.
    QPalette palette = list_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Button));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::Text));
    list_->setPalette(palette);
}

int CStatusDisplay::RowCount() const {
    return list_->rowCount();
}

void CStatusDisplay::AppendRow(int number, const std::string& time, const std::string& status) {
    const QString text = TextForDisplay(status);
    const int row = list_->rowCount();
    list_->insertRow(row);
    // The text is kept as it came, line end included; a one-line cell shows it without the line
    // end (which would otherwise show as an elided second line), and its tooltip shows it whole
    // when the column is too narrow.
    QString shown = text;
    while (shown.endsWith('\n') || shown.endsWith('\r'))
        shown.chop(1);
    const QString cells[3] = {QString::number(number), QString::fromStdString(time), shown};
    for (int column = 0; column < 3; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        list_->setItem(row, column, item);
    }
    list_->item(row, 2)->setData(kStatusTextRole, text);
    list_->item(row, 2)->setToolTip(shown);
    list_->scrollToItem(list_->item(row, 0), QAbstractItemView::EnsureVisible);
    // The new row is selected and focused; rows selected before stay selected.
    const QModelIndex index = list_->model()->index(row, 0);
    list_->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void CStatusDisplay::ShowProgress(int value, const std::string& label) {
    SetProgressText(TextForDisplay(label));
    // The bar would repaint at once, while the worker waits for this report; held back, it is
    // painted in the event loop's next turn, while the next row is already on its way.
    bar_->setUpdatesEnabled(false);
    bar_->setValue(std::clamp(value, 0, 100));
    bar_->setUpdatesEnabled(true);
}

void CStatusDisplay::SetProgressText(const QString& text) {
    label_->setText(text);
}

}  // namespace tamrix
