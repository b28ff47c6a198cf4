#include "app/browse_view.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace salvex::app {

namespace {

constexpr int kMinimumWidths[kListColumns] = {150, 100, 70, 100, 100, 70, 90};

} // namespace

BrowseView::BrowseView(NtfsScan& scan, const FilterTable& filters, QWidget* parent)
    : QWidget(parent), model_(new FolderListModel(scan, filters, this)),
      filterBar_(new QWidget(this)), filterText_(new QLabel), stack_(new QStackedWidget(this)),
      table_(new QTableView), iconView_(new QListView) {
    setObjectName(QStringLiteral("browseView"));
    filterText_->setObjectName(QStringLiteral("filterLine"));
    auto* clear = new QPushButton(tr("&Clear"));
    clear->setObjectName(QStringLiteral("clearFilter"));
    clear->setToolTip(tr("Show every file again"));
    auto* barLayout = new QHBoxLayout(filterBar_);
    barLayout->setContentsMargins(4, 2, 4, 2);
    barLayout->addWidget(filterText_, 1);
    barLayout->addWidget(clear);
    filterBar_->setAutoFillBackground(true);
    QPalette marked = filterBar_->palette();
    marked.setColor(QPalette::Window, QColor(0xff, 0xf4, 0xc2)); // a pale yellow, as a notice
    filterBar_->setPalette(marked);
    filterBar_->hide();
    connect(clear, &QPushButton::clicked, this, &BrowseView::clearFilterClicked);
    table_->setObjectName(QStringLiteral("detailsView"));
    table_->setModel(model_);
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::EditKeyPressed);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(20);
    QHeaderView* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    // The first order is the item lists'; a click on a header sorts by it, a second reverses.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    for (int column = 0; column < kListColumns; ++column)
        table_->setColumnWidth(column, kMinimumWidths[column]);
    table_->setWordWrap(false);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    iconView_->setObjectName(QStringLiteral("iconView"));
    iconView_->setModel(model_);
    iconView_->setSelectionModel(table_->selectionModel());
    iconView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    iconView_->setEditTriggers(QAbstractItemView::EditKeyPressed);
    iconView_->setContextMenuPolicy(Qt::CustomContextMenu);
    iconView_->setUniformItemSizes(true);
    stack_->addWidget(table_);
    stack_->addWidget(iconView_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(filterBar_);
    layout->addWidget(stack_, 1);

    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(table_), static_cast<QAbstractItemView*>(iconView_)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &BrowseView::rowActivated);
        connect(view, &QAbstractItemView::clicked, this, &BrowseView::rowClicked);
        connect(view, &QWidget::customContextMenuRequested, this,
                &BrowseView::contextMenuRequested);
    }
}

QAbstractItemView* BrowseView::current_view() const {
    return mode_ == ListMode::Details ? static_cast<QAbstractItemView*>(table_) : iconView_;
}

void BrowseView::set_mode(ListMode mode) {
    mode_ = mode;
    if (mode == ListMode::Details) {
        stack_->setCurrentWidget(table_);
        return;
    }
    iconView_->setViewMode(mode == ListMode::Icons ? QListView::IconMode : QListView::ListMode);
    iconView_->setFlow(mode == ListMode::Icons ? QListView::LeftToRight : QListView::TopToBottom);
    iconView_->setWrapping(true);
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setIconSize(QSize(16, 16));
    stack_->setCurrentWidget(iconView_);
}

int BrowseView::current_row() const {
    const QModelIndex current = current_view()->currentIndex();
    if (current.isValid() && table_->selectionModel()->isRowSelected(current.row(), {}))
        return current.row();
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

std::vector<int> BrowseView::selected_rows() const {
    std::vector<int> rows;
    const QItemSelectionModel* selection = table_->selectionModel();
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (selection->isRowSelected(row, {}))
            rows.push_back(row);
    }
    return rows;
}

bool BrowseView::is_view(const QObject* object) const {
    return object == table_ || object == iconView_;
}

bool BrowseView::renaming() const {
    const QWidget* editor = QApplication::focusWidget();
    return editor != nullptr && (editor->parentWidget() == table_->viewport() ||
                                 editor->parentWidget() == iconView_->viewport());
}

void BrowseView::start_rename(int row) {
    QAbstractItemView* view = current_view();
    const QModelIndex index = model_->index(row, kNameColumn);
    view->setCurrentIndex(index);
    view->setFocus();
    view->edit(index);
}

void BrowseView::fit_columns() {
    // The header samples rows, so that a folder of 100,000 files is measured quickly.
    table_->horizontalHeader()->setResizeContentsPrecision(500);
    for (int column = 0; column < kListColumns; ++column) {
        table_->resizeColumnToContents(column);
        table_->setColumnWidth(column,
                               std::max(table_->columnWidth(column) + 8, kMinimumWidths[column]));
    }
}

void BrowseView::reset_order() {
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    model_->sort(-1);
}

void BrowseView::set_filter_text(const QString& text) {
    filterText_->setText(text);
    filterBar_->setVisible(!text.isEmpty());
}

void BrowseView::watch_keys(QObject* filter) {
    table_->installEventFilter(filter);
    iconView_->installEventFilter(filter);
}

} // namespace salvex::app
