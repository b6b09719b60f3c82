#include "BatchOptions.h"

#include "Batch.h"
#include "conversion/CollectorFile.h"
#include "conversion/EntryTexts.h"
#include "conversion/RunService.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QCommandLineParser>
#include <optional>
#include <utility>

namespace app::batch {

namespace {

// "--name VALUE", as the help shows an option.
QString shown(const QCommandLineOption& option) {
    QString text = QStringLiteral("--") + option.names().constLast();
    if (!option.valueName().isEmpty())
        text += u' ' + option.valueName();
    return text;
}

// A command's usage line, wrapped under its start where it grows too long for a terminal.
QString usageLine(const Command& command) {
    constexpr qsizetype Width = 90;
    QStringList words{QStringLiteral("  conversor-coletor"),
                      shown(command.option) +
                          (command.moreFiles ? QStringLiteral("...") : QString())};
    for (const QCommandLineOption& option : command.required)
        words << shown(option);
    for (const QCommandLineOption& option : command.optional)
        words << u'[' + shown(option) + u']';
    QString text;
    qsizetype lineStart = 0;
    for (const QString& word : words) {
        if (!text.isEmpty()) {
            if (text.size() - lineStart + 1 + word.size() > Width) {
                text += QStringLiteral("\n     ");
                lineStart = text.size() - 5;
            }
            text += u' ';
        }
        text += word;
    }
    return text + u'\n';
}

QString optionName(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

QString ParserTexts::translate(const char* context, const char* sourceText, const char*,
                               int) const {
    if (qstrcmp(context, "QCommandLineParser") != 0)
        return {};
    static const std::pair<const char*, const char*> Texts[] = {
        {"Usage: %1", "Uso: %1"},
        {"[options]", "[opções]"},
        {"Options:", "Opções:"},
        {"Arguments:", "Argumentos:"},
        {"Displays help on commandline options.", "Mostra esta ajuda."},
        {"Displays help including Qt specific options.", "Mostra esta ajuda e as opções do Qt."},
        {"Unknown option '%1'.", "Opção desconhecida: '%1'."},
        {"Unknown options: %1.", "Opções desconhecidas: %1."},
        {"Missing value after '%1'.", "Falta o valor de %1."},
        {"Unexpected value after '%1'.", "Valor inesperado em %1."},
    };
    for (const auto& [english, portuguese] : Texts) {
        if (qstrcmp(sourceText, english) == 0)
            return QString::fromUtf8(portuguese);
    }
    return {};
}

QString description(const Options& options) {
    QString usage;
    for (const Command& command : options.commands())
        usage += usageLine(command);
    return QStringLiteral(
               "Converte um arquivo do coletor sem abrir a janela; sem argumentos, abre a janela.\n"
               "\n") +
           usage +
           QStringLiteral(
               "\n"
               "Cada comando aceita só as opções da sua linha; qualquer outra é recusada. --help\n"
               "mostra esta ajuda, com o que vier junto.\n"
               "\n"
               "Usa o Caminho.Dir da pasta atual e o arquivo de aliases, como a janela. "
               "Sem --data, a data\n"
               "é a de hoje. Vários arquivos são gravados numa conversão só: todos ou nenhum, uma\n"
               "entrada de cada no diário, desfeitos juntos.\n"
               "\n"
               "Para fechar o inventário, depois de convertidos os arquivos de todos: "
               "--nao-contados\n"
               "lista os produtos com estoque sem contagem na data, com o valor do estoque deles;\n"
               "--zerar-nao-contados grava para eles a contagem 0 esperando a vez da empresa como\n"
               "uma conversão (um produto contado por outra estação enquanto isso não é zerado),\n"
               "e entra no diário como uma conversão que --desfazer desfaz. Uma segunda zeragem\n"
               "não acha nada a zerar.\n"
               "\n"
               "Situação de saída:\n"
               "  0  gravado (ou simulado) sem rejeições; também a lista de --nao-contados e a\n"
               "     zeragem de --zerar-nao-contados\n"
               "  1  gravado (ou simulado) com rejeições\n"
               "  2  uso errado ou dados inválidos (opção repetida ou que o comando não aceita,\n"
               "     empresa ou causa desconhecida ou longa demais, data inválida, com ano de\n"
               "     menos de quatro dígitos ou distante de hoje sem --data-distante, arquivo\n"
               "     ausente, vazio, sem nenhuma leitura ou com mais de %1 MiB, arquivo de saída\n"
               "     que não pode ser gravado ou que é o arquivo do coletor ou o banco de dados)\n"
               "  3  sem conexão com o banco de dados\n"
               "  4  a conversão (ou a zeragem) falhou e nada foi gravado (ou o desfazer foi\n"
               "     recusado)\n"
               "  5  não foi possível confirmar a gravação\n"
               "  6  gravado, mas um arquivo de saída (ou o JSON na saída padrão) não pôde ser\n"
               "     escrito\n"
               "  7  já convertido: o diário mostra o mesmo arquivo gravado para o mesmo modo,\n"
               "     empresa, data e causa; nada foi gravado (--de-novo converte assim mesmo;\n"
               "     --simular só avisa)\n"
               "  8  outra estação está convertendo ou o banco de dados está bloqueado: nada foi\n"
               "     gravado, tente de novo mais tarde\n"
               "\n"
               "Com --json, a saída padrão recebe um objeto JSON em qualquer caso, com a situação "
               "de\n"
               "saída em \"situacao\" e, num erro, a mensagem em \"erro\" e o texto do próprio\n"
               "servidor, quando houver, em \"detalhe\".\n"
               "\n"
               "Situação de saída de --verificar:\n"
               "  0  tudo certo\n"
               "  1  só avisos (o diário ausente, o desfazer sem permissão de apagar)\n"
               "  3  sem conexão com o banco de dados\n"
               "  9  o banco abre, mas falta uma tabela, a permissão de ler ou gravar uma delas "
               "ou\n"
               "     a biblioteca cliente do servidor\n"
               "\n"
               "--verificar escreve uma linha por item, que começa pelo veredito: ok, info (só\n"
               "informação), aviso (funciona, com uma ressalva) ou falha.")
               .arg(conversion::MaxCollectorBytes >> 20);
}

QString inventoryDate(const QString& argument) {
    const conversion::GivenDate date = conversion::givenDate(argument, db::Clock::today());
    if (!date.refusal.isEmpty())
        throw Failure{BadUsage, date.refusal};
    return date.text;
}

int failureStatus(conversion::RunEnding ending) {
    switch (ending) {
    case conversion::RunEnding::CommitUnconfirmed:
        return CommitUnconfirmed;
    case conversion::RunEnding::LockWait:
        return LockWait;
    default:
        return RunFailed;
    }
}

void refuseFarDate(const QCommandLineParser& parser, const Options& options,
                   const QString& dateText, const QString& action) {
    const QDate today = db::Clock::today();
    const QDate date = conversion::toDate(dateText, today);
    if (conversion::isFarFromToday(date, today) && !parser.isSet(options.farDate))
        throw Failure{BadUsage, conversion::farDateText(date, today) +
                                    QStringLiteral(" Nada foi gravado; --data-distante %1 com "
                                                   "essa data.")
                                        .arg(action)};
}

void requireFits(const QString& argument, int width, const QString& label) {
    if (db::texts::trimControl(argument).size() > width)
        throw Failure{
            BadUsage,
            QStringLiteral("%1 com mais de %2 caracteres: %3").arg(label).arg(width).arg(argument)};
}

void refuseRepeatedOptions(const QCommandLineParser& parser) {
    QStringList seen;
    for (const QString& name : parser.optionNames()) {
        if (seen.contains(name))
            throw Failure{BadUsage, QStringLiteral("Opção repetida: --%1").arg(name)};
        seen << name;
    }
}

void refuseOptionsAsValues(const QCommandLineParser& parser, const Options& options) {
    QStringList names;
    for (const QCommandLineOption& option : options.all())
        names << option.names();
    for (const QCommandLineOption& option : options.all()) {
        if (option.valueName().isEmpty() || !parser.isSet(option))
            continue;
        const QString value = parser.value(option);
        if (value.startsWith(QLatin1String("--")) &&
            names.contains(value.mid(2).section(QLatin1Char('='), 0, 0)))
            throw Failure{BadUsage, QStringLiteral("Falta o valor de --%1 (veio %2 no lugar dele).")
                                        .arg(option.names().constFirst(), value)};
    }
}

std::optional<Command> chosenCommand(const QCommandLineParser& parser, const Options& options) {
    std::optional<Command> chosen;
    for (const Command& command : options.commands()) {
        if (!parser.isSet(command.option))
            continue;
        // One thing at a time: a conversion asked for along with the history would go undone.
        // The other mode of a conversion is an option the first does not take.
        if (chosen && !(chosen->task == Task::Conversion && command.task == Task::Conversion))
            throw Failure{BadUsage, QStringLiteral("Peça uma coisa só: a conversão, "
                                                   "--nao-contados, --zerar-nao-contados, "
                                                   "--historico, --desfazer, --preparar-banco, "
                                                   "--verificar, --demo ou --version.")};
        if (!chosen)
            chosen = command;
    }
    // More collector files follow a mode; nothing else takes an argument of its own.
    const QStringList positionals = parser.positionalArguments();
    if (!positionals.isEmpty() && (!chosen || !chosen->moreFiles))
        throw Failure{BadUsage,
                      QStringLiteral("Argumento inesperado: %1").arg(positionals.constFirst())};
    if (!chosen)
        return chosen;
    const auto takes = [&](const QString& name) {
        if (chosen->option.names().contains(name))
            return true;
        for (const auto* list : {&chosen->required, &chosen->optional}) {
            for (const QCommandLineOption& option : *list) {
                if (option.names().contains(name))
                    return true;
            }
        }
        return false;
    };
    for (const QString& name : parser.optionNames()) {
        if (!takes(name))
            throw Failure{BadUsage, QStringLiteral("%1 não se aplica a --%2.")
                                        .arg(optionName(name), chosen->option.names().constLast())};
    }
    return chosen;
}

QByteArray nativeValue(const QByteArrayList& native, const QList<QCommandLineOption>& withValue,
                       const QString& name) {
    const QByteArray wanted = "--" + name.toLatin1();
    for (qsizetype i = 1; i < native.size(); ++i) {
        const QByteArray& argument = native.at(i);
        if (argument == "--")
            break;
        if (argument.startsWith(wanted + '='))
            return argument.mid(wanted.size() + 1);
        if (argument == wanted)
            return native.value(i + 1);
        for (const QCommandLineOption& option : withValue) {
            if (argument == "--" + option.names().constFirst().toLatin1()) {
                ++i;
                break;
            }
        }
    }
    return {};
}

QByteArrayList nativePositionals(const QByteArrayList& native,
                                 const QList<QCommandLineOption>& withValue) {
    QByteArrayList positionals;
    for (qsizetype i = 1; i < native.size(); ++i) {
        const QByteArray& argument = native.at(i);
        if (argument == "--") {
            positionals += native.mid(i + 1);
            break;
        }
        if (!argument.startsWith('-') || argument == "-") {
            positionals << argument;
            continue;
        }
        for (const QCommandLineOption& option : withValue) {
            if (argument == "--" + option.names().constFirst().toLatin1()) {
                ++i;
                break;
            }
        }
    }
    return positionals;
}

} // namespace app::batch
