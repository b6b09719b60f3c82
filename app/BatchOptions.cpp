#include "BatchOptions.h"

#include <utility>

namespace batch {

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
        {"Displays version information.", "Mostra a versão."},
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

QString description() {
    return QStringLiteral(
        "Converte um arquivo do coletor sem abrir a janela; sem argumentos, abre a janela.\n"
        "\n"
        "  conversor-coletor --inventario ARQUIVO --empresa COD --causa COD [--data DD/MM/AAAA]\n"
        "  conversor-coletor --inicio-estoque ARQUIVO --empresa COD [--data DD/MM/AAAA]\n"
        "\n"
        "Usa o Caminho.Dir da pasta atual e o arquivo de aliases, como a janela. "
        "Sem --data, a data\n"
        "é a de hoje.\n"
        "\n"
        "Situação de saída:\n"
        "  0  gravado (ou simulado) sem rejeições\n"
        "  1  gravado (ou simulado) com rejeições\n"
        "  2  uso errado ou dados inválidos (opção repetida, empresa ou causa desconhecida ou\n"
        "     longa demais, data inválida ou com ano de menos de quatro dígitos, arquivo\n"
        "     ausente, vazio, sem nenhuma leitura ou com mais de 16 MiB, arquivo de saída que\n"
        "     não pode ser gravado ou que é o arquivo do coletor ou o banco de dados)\n"
        "  3  sem conexão com o banco de dados\n"
        "  4  a conversão falhou e nada foi gravado\n"
        "  5  não foi possível confirmar a gravação\n"
        "  6  gravado, mas um arquivo de saída (ou o JSON na saída padrão) não pôde ser\n"
        "     escrito\n"
        "  8  outra estação está convertendo ou o banco de dados está bloqueado: nada foi\n"
        "     gravado, tente de novo mais tarde\n"
        "\n"
        "Com --json, a saída padrão recebe um objeto JSON em qualquer caso, com a situação de\n"
        "saída em \"situacao\" e, num erro, a mensagem em \"erro\".");
}

} // namespace batch
