#include "Batch.h"
#include "Startup.h"
#include "db/Errors.h"
#include "db/ProcessEnd.h"
#include "ui/Dialogs.h"
#include "ui/TFConversao.h"
#include "ui/Translations.h"

#include <QApplication>
#include <exception>

namespace {
// Last line of defence: an error that escaped every handler is shown, and the program goes on.
class Application : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ui::Dialogs::error(activeWindow(), db::messageOf(error));
        }
        return false;
    }
};

int run(int argc, char* argv[]) {
    // Any argument means the batch mode, which creates no window and needs no display.
    if (argc > 1) {
        QCoreApplication application(argc, argv);
        application.setApplicationName(QStringLiteral("conversor-coletor"));
        application.setApplicationVersion(QStringLiteral(COLETOR_VERSION));
        QByteArrayList native;
        for (int i = 0; i < argc; ++i)
            native << QByteArray(argv[i]);
        return app::batch::run(QCoreApplication::arguments(), native);
    }
    Application application(argc, argv);
    application.setApplicationName(QStringLiteral("Conversor de Coletor de Dados"));
    // Lets the desktop match the window to its menu entry and icon.
    application.setDesktopFileName(QStringLiteral("conversor-coletor"));
    const std::unique_ptr<QTranslator> qtTexts = ui::loadQtTranslations(QLocale());
    if (qtTexts)
        QCoreApplication::installTranslator(qtTexts.get());
    ui::TFConversao form(app::Startup{});
    form.show();
    return application.exec();
}
} // namespace

// The application, the window and every connection are gone before the process ends.
int main(int argc, char* argv[]) {
    return db::finishProcess(run(argc, argv));
}
