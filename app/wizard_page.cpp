#include "app/wizard_page.h"

#include <QStandardItemModel>
#include <QTreeView>

namespace salvex::app {

QStandardItem* make_root_item(WizardFrame& frame, const QString& text) {
    QStandardItemModel& items = frame.page_items();
    items.clear();
    frame.show_tree(items);
    auto* root = new QStandardItem(text);
    root->setData(kRootItem, kItemRole);
    root->setEditable(false);
    items.appendRow(root);
    return root;
}

void add_child_item(QStandardItem* parent, const QString& text, int index) {
    auto* item = new QStandardItem(text);
    item->setData(index, kItemRole);
    item->setEditable(false);
    parent->appendRow(item);
}

void expand_root(WizardFrame& frame, QStandardItem* root) {
    frame.tree().expand(root->index());
}

} // namespace salvex::app
