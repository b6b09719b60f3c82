#include "LookupComboBox.h"

#include "db/LookupQuery.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSqlRecord>
#include <QStyle>
#include <QTableView>

namespace ui {

LookupComboBox::LookupComboBox(QWidget* parent)
    : QComboBox(parent)
    , m_view(new QTableView) {
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setShowGrid(false);
    m_view->setWordWrap(false);
    m_view->horizontalHeader()->hide();
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setView(m_view);
    // Installed after the popup's own filter, so this one sees the list's keys first.
    m_view->installEventFilter(this);

    connect(this, &QComboBox::activated, this, &LookupComboBox::picked);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { closeWhenFocusLeaves(now); });
}

void LookupComboBox::setLookup(db::LookupQuery* query, const QString& listFields) {
    m_query = query;
    m_listFields.clear();
    for (const QString& field : listFields.split(QLatin1Char(';')))
        m_listFields << field.trimmed();
    setModel(query);
    // Connected after the box's own reset handling, which would select the first row: the key
    // value decides what is shown.
    connect(query, &QAbstractItemModel::modelReset, this, [this] {
        arrangeColumns();
        applyKey();
    });
    connect(query, &QAbstractItemModel::rowsInserted, this, [this] { applyKey(); });
    arrangeColumns();
    applyKey();
}

void LookupComboBox::arrangeColumns() {
    if (!m_query)
        return;
    QHeaderView* header = m_view->horizontalHeader();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(1);
    const int columns = m_query->columnCount();
    for (int column = 0; column < columns; ++column)
        header->setSectionHidden(column, true);
    // The list fields in their own order, whatever order the query returns its columns in.
    int visualPosition = 0;
    for (const QString& field : m_listFields) {
        const int column = m_query->columnOf(field);
        if (column < 0)
            continue;
        header->setSectionHidden(column, false);
        header->moveSection(header->visualIndex(column), visualPosition++);
        header->setSectionResizeMode(column, visualPosition == 1 ? QHeaderView::Stretch
                                                                 : QHeaderView::Interactive);
    }
    const int shown = m_listFields.isEmpty() ? -1 : m_query->columnOf(m_listFields.constFirst());
    if (shown >= 0)
        setModelColumn(shown);
}

void LookupComboBox::setKeyValue(const QVariant& key) {
    m_key = key;
    applyKey();
}

void LookupComboBox::applyKey() {
    const int row = (m_query && !m_key.isNull()) ? m_query->rowOfKey(m_key.toString()) : -1;
    // The query follows the row the box shows; an unknown key leaves it where it was.
    if (row >= 0)
        m_query->setCurrentRow(row);
    setCurrentIndex(row);
}

QString LookupComboBox::shownText() const {
    return currentIndex() < 0 ? QString() : currentText();
}

void LookupComboBox::picked(int row) {
    if (!m_query || row < 0)
        return;
    m_query->setCurrentRow(row);
    m_key = m_query->textAt(row, m_query->columnOf(m_query->keyColumn()));
    emit clicked();
}

void LookupComboBox::dropDown() {
    showPopup();
}

int LookupComboBox::contentWidth(int column) const {
    const QAbstractItemModel* model = m_view->model();
    int widest = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        widest = qMax(widest, m_view->fontMetrics().horizontalAdvance(
                                  model->index(row, column).data().toString()));
    // The cell's own margins on both sides.
    return widest + 2 * (m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 4);
}

void LookupComboBox::showPopup() {
    // The code columns as wide as their codes, not their hidden titles, so that the first
    // column has the room for the names.
    for (int column = 0; column < m_view->model()->columnCount(); ++column) {
        if (m_view->horizontalHeader()->sectionResizeMode(column) == QHeaderView::Interactive)
            m_view->setColumnWidth(column, contentWidth(column));
    }
    QComboBox::showPopup();
    QWidget* popup = m_view->window();
    if (popup != window())
        popup->resize(qMax(width(), m_dropDownWidth), popup->height());
}

bool LookupComboBox::isDroppedDown() const {
    return m_view->isVisible();
}

void LookupComboBox::closeWhenFocusLeaves(QWidget* now) {
    // Losing the focus closes the list without taking an entry.
    if (!now || !isDroppedDown() || now == this || now->window() == m_view->window())
        return;
    hidePopup();
}

bool LookupComboBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_view || event->type() != QEvent::KeyPress)
        return QComboBox::eventFilter(watched, event);
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    switch (keyEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_F4:
        // The dropped-down list takes or drops its entry itself; nobody else sees these keys.
        return false;
    default:
        if (keyEvent->modifiers() & Qt::AltModifier)
            return false;
        break;
    }
    // Offered to the box as if typed there, so key handlers watching the box see it before
    // the list moves its highlight.
    QKeyEvent offered(keyEvent->type(), keyEvent->key(), keyEvent->modifiers(), keyEvent->text(),
                      keyEvent->isAutoRepeat(), keyEvent->count());
    m_forwardingPopupKey = true;
    m_popupKeyConsumed = true;
    QCoreApplication::sendEvent(this, &offered);
    m_forwardingPopupKey = false;
    return m_popupKeyConsumed;
}

void LookupComboBox::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    emit keyDown(key);
    if (m_forwardingPopupKey) {
        // The list itself does the moving once the box has let the key through.
        m_popupKeyConsumed = key == 0;
        event->accept();
        return;
    }
    if (key == 0) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

} // namespace ui
