#include "Access.h"

#include "Dialect.h"
#include "Names.h"

namespace db::access {

QList<TableNeed> tableNeeds(const Dialect& dialect) {
    // A run that takes the company's turn by locking its row needs the right to update it.
    const int company = Read | (dialect.turnLocksCompanyRow() ? Update : 0);
    return {
        {table::Filiais, company, 0, false},
        {table::CausInv, Read, 0, false},
        {table::ProdGrade, Read, 0, false},
        {table::Produto, Read, 0, false},
        {table::Relacionarefant, Read, 0, false},
        {table::CompProd, Read, 0, false},
        {table::Inventa, Read | Insert | Update, Delete, false},
        {table::MvGeral, Read | Insert, Delete, false},
        {table::InciEst, Read | Insert, Delete, false},
        {table::ConvColetor, Read | Insert | Update, 0, true},
        {table::ConvColetorIt, Read | Insert | Update, 0, true},
    };
}

QString privilegeNames(int privileges) {
    QStringList names;
    const std::pair<Privilege, const char*> all[] = {
        {Read, "Select"}, {Insert, "Insert"}, {Update, "Update"}, {Delete, "Delete"}};
    for (const auto& [privilege, name] : all) {
        if (privileges & privilege)
            names << QString::fromLatin1(name);
    }
    return names.join(QStringLiteral(", "));
}

} // namespace db::access
