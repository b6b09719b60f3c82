#include "Dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QQueue>
#include <QTextEdit>
#include <QTranslator>
#include <QtMath>
#include <algorithm>
#include <functional>
#include <optional>

namespace ui {

namespace {
struct TestState {
    bool on = false;
    QQueue<std::optional<QString>> fileAnswers;
    QQueue<bool> answers;
    QList<Dialogs::Shown> shown;
    QList<Dialogs::FileRequest> fileRequests;
    std::function<void(const Dialogs::Shown&)> onShown;
};

// The details button's own texts, in the tool's language.
class DetailsTexts final : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        if (qstrcmp(context, "QMessageBox") != 0)
            return {};
        if (qstrcmp(sourceText, "Show Details...") == 0)
            return QStringLiteral("Mostrar detalhes...");
        if (qstrcmp(sourceText, "Hide Details...") == 0)
            return QStringLiteral("Ocultar detalhes...");
        return {};
    }
};

TestState& state() {
    static TestState value;
    return value;
}

void record(const QString& caption, const QString& text, const QString& icon,
            const QString& detailedText = QString()) {
    state().shown.append({caption, text, icon, detailedText});
    if (state().onShown)
        state().onShown(state().shown.last());
}

QString answerFile(const Dialogs::FileRequest& request, bool* accepted) {
    state().fileRequests.append(request);
    const std::optional<QString> answer =
        state().fileAnswers.isEmpty() ? std::nullopt : state().fileAnswers.dequeue();
    if (accepted)
        *accepted = answer.has_value();
    return answer.value_or(QString());
}

QStringList runFileDialog(QWidget* parent, const Dialogs::FileRequest& request,
                          QFileDialog::AcceptMode mode, bool* accepted, bool several = false) {
    QFileDialog dialog(parent, request.title, request.directory, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                       : several                       ? QFileDialog::ExistingFiles
                                                       : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // Replacing an existing file asks nothing: the export overwrites by design.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (accepted)
        *accepted = ok;
    if (!ok)
        return {};
    return dialog.selectedFiles();
}
} // namespace

void Dialogs::message(QWidget* parent, Kind kind, const QString& text) {
    const bool warning = kind == Kind::Warning;
    const QString caption = warning ? QStringLiteral("Warning") : QStringLiteral("Information");
    if (state().on) {
        record(caption, text, warning ? QStringLiteral("warning") : QStringLiteral("information"));
        return;
    }
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, caption, text,
                    QMessageBox::Ok, parent);
    box.exec();
}

void Dialogs::box(QWidget* parent, const QString& text, const QString& title, Icon icon,
                  const QString& detailedText) {
    if (state().on) {
        const char* name = icon == Icon::Information   ? "information"
                           : icon == Icon::Exclamation ? "exclamation"
                                                       : "error";
        record(title, text, QString::fromLatin1(name), detailedText);
        return;
    }
    const QMessageBox::Icon shownIcon = icon == Icon::Information   ? QMessageBox::Information
                                        : icon == Icon::Exclamation ? QMessageBox::Warning
                                                                    : QMessageBox::Critical;
    DetailsTexts texts;
    const bool details = !detailedText.isEmpty();
    if (details)
        QCoreApplication::installTranslator(&texts);
    QMessageBox box(shownIcon, title, text, QMessageBox::Ok, parent);
    if (details) {
        box.setDetailedText(detailedText);
        fitDetailedText(box);
    }
    box.exec();
    if (details)
        QCoreApplication::removeTranslator(&texts);
}

bool Dialogs::question(QWidget* parent, const QString& text, const QString& title) {
    if (state().on) {
        record(title, text, QStringLiteral("question"));
        return !state().answers.isEmpty() && state().answers.dequeue();
    }
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton* const yes = box.addButton(QStringLiteral("&Sim"), QMessageBox::YesRole);
    QPushButton* const no = box.addButton(QStringLiteral("&Não"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void Dialogs::setNextAnswer(bool yes) {
    state().answers.enqueue(yes);
}

void Dialogs::fitDetailedText(QMessageBox& box) {
    constexpr int MaxLines = 30;
    const int lines =
        std::min(static_cast<int>(box.detailedText().count(QLatin1Char('\n'))) + 1, MaxLines);
    for (QTextEdit* details : box.findChildren<QTextEdit*>()) {
        const int margins =
            2 * (details->frameWidth() + qCeil(details->document()->documentMargin())) +
            details->contentsMargins().top() + details->contentsMargins().bottom();
        details->setFixedHeight(lines * details->fontMetrics().lineSpacing() + margins + 2);
    }
}

void Dialogs::error(QWidget* parent, const QString& text, const QString& detailedText) {
    box(parent, text, QStringLiteral("Conversor de Coletor de Dados"), Icon::Error, detailedText);
}

QString Dialogs::openFileName(QWidget* parent, const FileRequest& request, bool* accepted) {
    if (state().on)
        return answerFile(request, accepted);
    return runFileDialog(parent, request, QFileDialog::AcceptOpen, accepted).value(0);
}

QStringList Dialogs::openFileNames(QWidget* parent, const FileRequest& request, bool* accepted) {
    if (state().on) {
        const QString answer = answerFile(request, accepted);
        return answer.isEmpty() ? QStringList() : answer.split(u'\n');
    }
    return runFileDialog(parent, request, QFileDialog::AcceptOpen, accepted, true);
}

QString Dialogs::saveFileName(QWidget* parent, const FileRequest& request, bool* accepted) {
    if (state().on)
        return answerFile(request, accepted);
    return runFileDialog(parent, request, QFileDialog::AcceptSave, accepted).value(0);
}

void Dialogs::setTestMode(bool on) {
    state().on = on;
}
bool Dialogs::testMode() {
    return state().on;
}
void Dialogs::setNextFileName(const QString& fileName) {
    state().fileAnswers.enqueue(fileName);
}
void Dialogs::setNextFileCancel() {
    state().fileAnswers.enqueue(std::nullopt);
}
const QList<Dialogs::Shown>& Dialogs::shown() {
    return state().shown;
}
const QList<Dialogs::FileRequest>& Dialogs::fileRequests() {
    return state().fileRequests;
}

void Dialogs::clearShown() {
    state().shown.clear();
    state().fileRequests.clear();
    state().fileAnswers.clear();
    state().answers.clear();
}

void Dialogs::setOnShown(std::function<void(const Shown&)> callback) {
    state().onShown = std::move(callback);
}

} // namespace ui
