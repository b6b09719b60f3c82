// Company, cause and date fields.
#include "TFConversao.h"

void TFConversao::CodEmpresaExit() {}
void TFConversao::CodEmpresaChange() {}
void TFConversao::CodEmpresaKeyDown(int& key) {
    Q_UNUSED(key);
}
void TFConversao::MostraEmpresaClick() {}
void TFConversao::MostraEmpresaKeyDown(int& key) {
    Q_UNUSED(key);
}
void TFConversao::CodCausaExit() {}
void TFConversao::CodCausaChange() {}
void TFConversao::CodCausaKeyDown(int& key) {
    Q_UNUSED(key);
}
void TFConversao::MostraCausaClick() {}
void TFConversao::MostraCausaKeyDown(int& key) {
    Q_UNUSED(key);
}
void TFConversao::DtInventaExit() {}
void TFConversao::DtInventaKeyDown(int& key) {
    Q_UNUSED(key);
}
