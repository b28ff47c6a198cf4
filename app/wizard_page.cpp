#include "app/wizard_page.h"

#include <QTreeWidget>

namespace salvex::app {

QTreeWidgetItem* make_root_item(QTreeWidget& tree, const QString& text) {
    tree.clear();
    auto* root = new QTreeWidgetItem(&tree, {text});
    root->setData(0, kItemRole, kRootItem);
    root->setExpanded(true);
    return root;
}

void add_child_item(QTreeWidgetItem* parent, const QString& text, int index) {
    auto* item = new QTreeWidgetItem(parent, {text});
    item->setData(0, kItemRole, index);
}

} // namespace salvex::app
