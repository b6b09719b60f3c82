#pragma once

#include <QComboBox>
#include <QStringList>
#include <QVariant>

class QTableView;
namespace db {
class LookupQuery;
}

namespace ui {

// A look-up list bound to a look-up query: its key value (a code, or null) positions the query
// and shows the first list field; the dropped-down list shows every list field as a column.
class LookupComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit LookupComboBox(QWidget* parent = nullptr);

    // listFields as "NomeEmpresa;CodEmpresa": the first is shown in the closed box.
    void setLookup(db::LookupQuery* query, const QString& listFields);
    db::LookupQuery* lookup() const { return m_query; }
    const QStringList& listFields() const { return m_listFields; }

    // Null for no entry; null or a code that no row has shows an empty box. Setting it raises no
    // click event.
    QVariant keyValue() const { return m_key; }
    void setKeyValue(const QVariant& key);
    QString shownText() const;

    // Drops the list down on the current key value.
    void dropDown();
    bool isDroppedDown() const;
    // Width of the dropped-down list; never narrower than the box.
    void setDropDownWidth(int width) { m_dropDownWidth = width; }
    void showPopup() override;

    QTableView* listView() const { return m_view; }

signals:
    // After an entry was picked in the list or stepped to with the arrows.
    void clicked();
    // Before the box's own arrow stepping, with the Qt key code; a handler that sets the key to
    // 0 consumes it.
    void keyDown(int& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int contentWidth(int column) const;
    void picked(int row);
    void arrangeColumns();
    void applyKey();
    void closeWhenFocusLeaves(QWidget* now);

    db::LookupQuery* m_query = nullptr;
    QTableView* m_view = nullptr;
    QStringList m_listFields;
    QVariant m_key;
    int m_dropDownWidth = 0;
    // A key typed in the dropped-down list is offered to the box's key handling first.
    bool m_forwardingPopupKey = false;
    bool m_popupKeyConsumed = false;
};

} // namespace ui
