#include "LookupComboBox.h"

#include "db/LookupQuery.h"

LookupComboBox::LookupComboBox(QWidget* parent)
    : QComboBox(parent) {}

void LookupComboBox::setLookup(db::LookupQuery* query, const QString& listFields) {
    m_query = query;
    m_listFields.clear();
    for (const QString& field : listFields.split(QLatin1Char(';')))
        m_listFields << field.trimmed();
}

void LookupComboBox::setKeyValue(const QVariant& key) {
    m_key = key;
}

QString LookupComboBox::shownText() const {
    return currentText();
}

void LookupComboBox::dropDown() {
    showPopup();
}

bool LookupComboBox::isDroppedDown() const {
    return false;
}
