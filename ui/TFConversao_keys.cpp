// Form-wide keyboard rules and display states.
#include "TFConversao.h"

void TFConversao::FormKeyDown(int& key) { Q_UNUSED(key); }
void TFConversao::ClearEntries() {}
void TFConversao::SetInputControlsVisible(bool visible) { Q_UNUSED(visible); }
void TFConversao::PcDadosChange() {}
