#pragma once

#include "conversion/Errors.h"

#include <QByteArrayList>
#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QTranslator>
#include <optional>

class QCommandLineParser;

// The batch mode's command line: its options, its help text, the parser's own texts and the
// reading of the arguments, kept apart from what the batch does with them.
namespace conversion {
enum class RunEnding;
}

namespace app::batch {

// The parser's own texts (usage, unknown option): a small table, not Qt's translations, so that
// the help and the errors a script reads are the same on every workstation, whatever Qt
// translations it has installed.
class ParserTexts final : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
};

struct Options;

// The help's description: the usage lines, where the settings come from, and the exit statuses.
QString description(const Options& options);

// What a line of the batch mode asks for.
enum class Task {
    Conversion,
    Uncounted,
    ZeroUncounted,
    History,
    Undo,
    Prepare,
    Verify,
    Demo,
    Version
};

// A command, named by the option that asks for it, and the options it takes: any other option
// on its line is refused, so that none is silently ignored. Its usage line in the help comes
// from here too.
struct Command {
    Task task;
    QCommandLineOption option;
    // Shown bare in the usage line; the command itself checks that they are there.
    QList<QCommandLineOption> required;
    // Shown in brackets.
    QList<QCommandLineOption> optional;
    // More collector files may follow the option's value.
    bool moreFiles = false;
};

struct Options {
    QCommandLineOption inventory{
        QStringLiteral("inventario"),
        QStringLiteral("Converte ARQUIVO em contagens de inventário; outros arquivos depois dele "
                       "entram na mesma conversão, nessa ordem."),
        QStringLiteral("ARQUIVO")};
    QCommandLineOption openingStock{
        QStringLiteral("inicio-estoque"),
        QStringLiteral("Converte ARQUIVO em início de estoque; outros arquivos depois dele "
                       "entram na mesma conversão, nessa ordem."),
        QStringLiteral("ARQUIVO")};
    QCommandLineOption company{QStringLiteral("empresa"), QStringLiteral("Código da empresa."),
                               QStringLiteral("COD")};
    QCommandLineOption cause{
        QStringLiteral("causa"),
        QStringLiteral("Código da causa (só no inventário e em --zerar-nao-contados)."),
        QStringLiteral("COD")};
    QCommandLineOption date{QStringLiteral("data"),
                            QStringLiteral("Data do inventário; completada como no campo Data."),
                            QStringLiteral("DD/MM/AAAA")};
    QCommandLineOption farDate{
        QStringLiteral("data-distante"),
        QStringLiteral("Converte (ou zera os não contados) mesmo com uma data a mais de 60 dias "
                       "depois de hoje ou a mais de um ano antes, que sem esta opção é recusada.")};
    QCommandLineOption dryRun{
        QStringLiteral("simular"),
        QStringLiteral("Faz a conversão inteira, ou com --desfazer o desfazer inteiro, ou com "
                       "--zerar-nao-contados a zeragem inteira, e volta tudo atrás no fim: nada "
                       "muda no banco.")};
    QCommandLineOption rejections{
        QStringLiteral("rejeitadas"),
        QStringLiteral("Grava as leituras rejeitadas em SAIDA, como o botão Salvar."),
        QStringLiteral("SAIDA")};
    QCommandLineOption report{
        QStringLiteral("relatorio"),
        QStringLiteral("Grava o relatório da conversão, uma linha por linha do arquivo, em "
                       "SAIDA.csv (UTF-8); com --nao-contados e --zerar-nao-contados, um "
                       "produto por linha."),
        QStringLiteral("SAIDA.csv")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Escreve um resumo em JSON na saída padrão.")};
    QCommandLineOption again{
        QStringLiteral("de-novo"),
        QStringLiteral("Converte mesmo um arquivo que o diário mostra já convertido para o mesmo "
                       "modo, empresa, data e causa.")};
    QCommandLineOption prepare{
        QStringLiteral("preparar-banco"),
        QStringLiteral("Cria no banco as tabelas do diário de conversões (ConvColetor e "
                       "ConvColetorIt), depois de dizer o que cria e perguntar.")};
    QCommandLineOption yes{QStringLiteral("sim"),
                           QStringLiteral("Responde sim à pergunta de --preparar-banco.")};
    QCommandLineOption history{
        QStringLiteral("historico"),
        QStringLiteral("Lista as conversões do diário, da mais nova para a mais antiga; --empresa "
                       "e --data filtram a lista.")};
    QCommandLineOption undo{QStringLiteral("desfazer"),
                            QStringLiteral("Desfaz a conversão ID do diário, inteira ou nada."),
                            QStringLiteral("ID")};
    QCommandLineOption wait{
        QStringLiteral("espera"),
        QStringLiteral(
            "Quanto esperar, em segundos, enquanto outra estação converte na mesma "
            "empresa (padrão: 120, ou Espera= no arquivo de aliases); depois, status 8."),
        QStringLiteral("SEGUNDOS")};
    QCommandLineOption uncounted{
        QStringLiteral("nao-contados"),
        QStringLiteral("Lista os produtos da empresa com estoque (nem zero nem vazio) que não têm "
                       "contagem no inventário da data: processar o inventário deixaria o "
                       "estoque deles como está.")};
    QCommandLineOption zeroUncounted{
        QStringLiteral("zerar-nao-contados"),
        QStringLiteral("Grava a contagem 0 de cada produto que --nao-contados lista, com a causa "
                       "dada, numa transação só; entra no diário como uma conversão, que "
                       "--desfazer desfaz.")};
    QCommandLineOption verify{
        QStringLiteral("verificar"),
        QStringLiteral("Confere a instalação, uma linha por item: o banco de dados e de onde veio "
                       "o nome dele, o usuário, as tabelas e as permissões de ler e gravar cada "
                       "uma (sem gravar nada), o diário e as bibliotecas cliente dos servidores.")};
    QCommandLineOption demo{
        QStringLiteral("demo"),
        QStringLiteral("Cria a pasta de demonstração PASTA: um banco SQLite com dados de "
                       "demonstração, o Caminho.Dir que o indica e um coletor.txt. Não substitui "
                       "arquivos que a pasta já tenha."),
        QStringLiteral("PASTA")};

    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Mostra a versão.")};

    // In the help's order.
    QList<QCommandLineOption> all() const {
        return {version, inventory, openingStock, uncounted,  zeroUncounted, company, cause,
                date,    farDate,   dryRun,       rejections, report,        json,    again,
                prepare, yes,       history,      undo,       verify,        demo,    wait};
    }
    QList<QCommandLineOption> withValue() const {
        return {inventory,  openingStock, company, cause, date,
                rejections, report,       undo,    demo,  wait};
    }
    // Every command, a conversion's mode first, and what each takes.
    QList<Command> commands() const {
        const QList<QCommandLineOption> converting = {date,       farDate, dryRun, report,
                                                      rejections, again,   wait,   json};
        return {
            {Task::Conversion, inventory, {company, cause}, converting, true},
            {Task::Conversion, openingStock, {company}, converting, true},
            {Task::Uncounted, uncounted, {company}, {date, report, json}},
            {Task::ZeroUncounted,
             zeroUncounted,
             {company, cause},
             {date, farDate, dryRun, report, wait, json}},
            {Task::History, history, {}, {company, date, json}},
            {Task::Undo, undo, {}, {dryRun, json}},
            {Task::Prepare, prepare, {}, {yes, json}},
            {Task::Verify, verify, {}, {json}},
            {Task::Demo, demo, {}, {json}},
            {Task::Version, version, {}, {json}},
        };
    }
};

// An error that ends the batch with its status.
class Failure : public conversion::Error {
public:
    // detail: the server's own text, for the JSON only.
    Failure(int status, const QString& message, const QString& detail = QString())
        : conversion::Error(message, detail)
        , m_status(status) {}
    int status() const { return m_status; }

private:
    int m_status;
};

// The --data argument as the date field would take it: no date is today; anything else is
// completed and checked as the field does, and a year of fewer than four digits is refused.
// Raises Failure (wrong usage).
QString inventoryDate(const QString& argument);
// A date (as inventoryDate gives it) more than 60 days after today or more than a year before
// it, unless the line says --data-distante: nobody answers a question in a scheduled job, so it
// is a mistake until the line says otherwise. action is what the option would do with it
// ("converte", "zera"). Raises Failure (wrong usage).
void refuseFarDate(const QCommandLineParser& parser, const Options& options,
                   const QString& dateText, const QString& action);
// The exit status of a run or a zeroing that did not come to its end: a scheduler tells "try
// later" from "fix the file" by it.
int failureStatus(conversion::RunEnding ending);
// A code the field could not hold: padding would keep its rightmost characters, another code.
void requireFits(const QString& argument, int width, const QString& label);
// The option given twice: the second would silently win.
void refuseRepeatedOptions(const QCommandLineParser& parser);
// An option where another's value goes (`--desfazer --simular`): the option would be taken for
// the value, and the command run without it.
void refuseOptionsAsValues(const QCommandLineParser& parser, const Options& options);
// The command the line asks for, once it is known to take everything on the line; none when the
// line names no command. Raises Failure (wrong usage) for two commands, an option the command
// does not take, or an argument where no collector file may follow.
std::optional<Command> chosenCommand(const QCommandLineParser& parser, const Options& options);
// The command line's own bytes for an option's value where the system names files by bytes
// (empty elsewhere), read as the parser reads them: "--name value" or "--name=value", options
// that take a value skipping it, nothing after "--".
QByteArray nativeValue(const QByteArrayList& native, const QList<QCommandLineOption>& withValue,
                       const QString& name);
// The command line's own bytes for the arguments that are no option nor an option's value, in
// their order; everything after "--" is one of them.
QByteArrayList nativePositionals(const QByteArrayList& native,
                                 const QList<QCommandLineOption>& withValue);

} // namespace app::batch
