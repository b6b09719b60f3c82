#include "TableLook.h"

#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QTableView>
#include <algorithm>

namespace ui {

void setListLook(QTableView* table, QAbstractItemView::SelectionMode selection) {
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(selection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
}

void fitToColumns(QWidget* window, const QTableView* table, const QLayout* layout, int spare,
                  int height) {
    int width = 2 * table->frameWidth() + spare;
    for (int column = 0; column < table->model()->columnCount(); ++column)
        width += table->columnWidth(column);
    const QMargins margins = layout->contentsMargins();
    width += margins.left() + margins.right();
    if (const QScreen* shown = window->screen())
        width = std::min(width, shown->availableGeometry().width() - 40);
    window->resize(std::max(width, 600), height);
}

} // namespace ui
