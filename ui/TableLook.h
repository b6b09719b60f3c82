#pragma once

#include <QAbstractItemView>

class QLayout;
class QTableView;
class QWidget;

namespace ui {

// A list the clerk reads and chooses rows in: whole rows, no editing, one line a row, Tab goes
// on to the window's buttons while the arrows walk the rows.
void setListLook(QTableView* table, QAbstractItemView::SelectionMode selection);

// The window wide enough for every column of its table, as far as the screen allows, and no
// narrower than 600; spare is what the table needs beside its columns (a scroll bar, a margin).
void fitToColumns(QWidget* window, const QTableView* table, const QLayout* layout, int spare,
                  int height);

} // namespace ui
