// The conversion run: choosing the file, checking the entries and dispatching by tab.
#include "TFConversao.h"

void TFConversao::btAbrirClick() {}
bool TFConversao::CheckEntries() {
    return false;
}
void TFConversao::ReportBlankField(QWidget* control, const QString& label) {
    Q_UNUSED(control);
    Q_UNUSED(label);
}
void TFConversao::btOKClick() {}
