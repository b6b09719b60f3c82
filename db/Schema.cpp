#include "Schema.h"

#include "Errors.h"
#include "Query.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace db {

QStringList schemaStatements(const Dialect& dialect) {
    QFile file(dialect.schemaResource());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        // The script is built into the program: failing to read it is no clerk's file.
        throw Error(QStringLiteral("%1: %2").arg(file.fileName(), file.errorString()));
    QStringList statements;
    QString current;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            current = current.trimmed();
            current.chop(1);
            statements << current;
            current.clear();
        }
    }
    return statements;
}

void runScript(QSqlDatabase database, const Dialect& dialect, const QStringList& statements) {
    TransactionGuard transaction(database);
    for (const QString& statement : statements) {
        // Not a db::Statement: a script's DDL runs once each, with no values to bind.
        QSqlQuery query(database);
        if (!query.exec(statement))
            raiseDatabaseError(query.lastError(), dialect);
    }
    transaction.commit();
}

void createSchema(QSqlDatabase database, const Dialect& dialect) {
    runScript(database, dialect, schemaStatements(dialect));
}

} // namespace db
