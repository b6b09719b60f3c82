#pragma once

#include "Dialogs.h"
#include "db/Errors.h"

#include <exception>

namespace ui {

// Ends the running operation on an error that no handler caught and shows it in the default
// error box; the program goes on.
template <typename Operation> bool guarded(QWidget* parent, Operation&& operation) {
    try {
        operation();
        return true;
    } catch (const std::exception& error) {
        Dialogs::error(parent, db::messageOf(error));
    }
    return false;
}

} // namespace ui
