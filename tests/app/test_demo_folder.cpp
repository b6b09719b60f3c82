// The installed program's --demo: it makes a folder that the batch mode converts as the README
// says, and never replaces a file a folder already holds.
#include "tests/ProgramRun.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Executable = QStringLiteral(CONVERSOR_EXECUTABLE);

// Run as from a terminal in folder, with no alias file: the default alias.
programrun::Result run(const QString& folder, const QStringList& arguments) {
    QProcessEnvironment environment = programrun::batchEnvironment();
    environment.insert(QStringLiteral("CONVERSOR_ALIASES"),
                       QStringLiteral("/nonexistent/aliases.ini"));
    return programrun::run(Executable, arguments, folder, environment);
}
} // namespace

class TestDemoFolder : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;

private slots:
    void makesAFolderTheBatchModeConverts() {
        const QString folder = m_root.filePath(QStringLiteral("nova/demo"));
        const programrun::Result made = run(m_root.path(), {QStringLiteral("--demo"), folder});
        QCOMPARE(made.status, 0);
        QVERIFY2(made.out.startsWith("Demo pronta em " + folder.toUtf8()), made.out.constData());

        // The README's demo run: 9 readings posted, 4 rejected, status 1.
        const programrun::Result converted = run(
            folder, {"--inventario", "coletor.txt", "--empresa", "1", "--causa", "1", "--json"});
        QCOMPARE(converted.status, 1);
        const QJsonObject summary = QJsonDocument::fromJson(converted.out).object();
        QCOMPARE(summary.value(QStringLiteral("gravadas")).toInt(), 9);
        QCOMPARE(summary.value(QStringLiteral("linhas")).toInt(), 15);
    }

    void neverReplacesAFile_data() {
        QTest::addColumn<QString>("held");
        QTest::newRow("a database") << "telvaro.db";
        QTest::newRow("a Caminho.Dir") << "Caminho.Dir";
        QTest::newRow("a collector file") << "coletor.txt";
    }
    void neverReplacesAFile() {
        QFETCH(QString, held);
        QTemporaryDir folder;
        testfiles::write(folder.filePath(held), "da empresa\r\n");

        const programrun::Result result =
            run(m_root.path(), {QStringLiteral("--demo"), folder.path()});
        QCOMPARE(result.status, 2);
        // Windows writes the folder with its own separators.
        QCOMPARE(QString::fromUtf8(result.err),
                 QStringLiteral("A pasta %1 já tem o arquivo %2, que a demonstração substituiria. "
                                "Escolha uma pasta nova ou vazia.\n")
                     .arg(QDir::toNativeSeparators(folder.path()), held));
        QCOMPARE(testfiles::read(folder.filePath(held)), QByteArray("da empresa\r\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{held});
    }
};

COLETOR_GUILESS_TEST_MAIN(TestDemoFolder)
#include "test_demo_folder.moc"
