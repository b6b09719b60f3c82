#pragma once

#include <QComboBox>
#include <QVariant>

namespace db {
class LookupQuery;
}

// A look-up list bound to a look-up query: its key value (a code, or null) positions the query
// and shows the first list field; the dropped-down list shows every list field as a column.
class LookupComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit LookupComboBox(QWidget* parent = nullptr);

    // listFields as "NomeEmpresa;CodEmpresa": the first is shown in the closed box.
    void setLookup(db::LookupQuery* query, const QString& listFields);
    db::LookupQuery* lookup() const { return m_query; }

    // Null for no entry. Setting it raises no click event.
    QVariant keyValue() const { return m_key; }
    void setKeyValue(const QVariant& key);
    QString shownText() const;

    void dropDown();
    bool isDroppedDown() const;
    void setDropDownWidth(int width) { m_dropDownWidth = width; }

signals:
    // After an entry was picked in the list or stepped to with the arrows.
    void clicked();
    // Before the box's own arrow stepping; a handler that sets the key to 0 consumes it.
    void keyDown(int& key);

private:
    db::LookupQuery* m_query = nullptr;
    QStringList m_listFields;
    QVariant m_key;
    int m_dropDownWidth = 0;
};
