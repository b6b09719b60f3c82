#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace ui {

// Every message and file dialog of the tool goes through here, so tests can answer them and
// read what they said: in test mode nothing modal opens.
class Dialogs {
public:
    // The standard message dialog: caption of its kind ("Warning", "Information"), one OK button.
    enum class Kind { Warning, Information };
    // A message box with a title of its own and one OK button.
    enum class Icon { Information, Exclamation, Error };

    struct Shown {
        QString caption;
        QString text;
        QString icon; // "warning", "information", "exclamation", "error" or "question"
        // Shown by the box's details button; empty when the box has none.
        QString detailedText;
    };

    struct FileRequest {
        QString title;
        QString filter;
        QString defaultSuffix;
        QString directory;
    };

    static void message(QWidget* parent, Kind kind, const QString& text);
    static void box(QWidget* parent, const QString& text, const QString& title, Icon icon,
                    const QString& detailedText = QString());
    // The application's default error box, for an error that no handler caught.
    static void error(QWidget* parent, const QString& text,
                      const QString& detailedText = QString());
    // A question with "Sim" and "Não", "Não" the default; true for "Sim". Recorded with the
    // icon "question".
    static bool question(QWidget* parent, const QString& text, const QString& title);

    // Empty when the user cancels; a chosen name otherwise (accepted tells the two apart when a
    // dialog returns an empty name).
    static QString openFileName(QWidget* parent, const FileRequest& request,
                                bool* accepted = nullptr);
    // One file or more; in test mode the answer's names are separated by line ends.
    static QStringList openFileNames(QWidget* parent, const FileRequest& request,
                                     bool* accepted = nullptr);
    static QString saveFileName(QWidget* parent, const FileRequest& request,
                                bool* accepted = nullptr);

    // Makes the details of a box as tall as their lines, up to a screenful: Qt gives them room
    // for about six lines and cuts the rest behind a scroll bar.
    static void fitDetailedText(QMessageBox& box);

    // Test seam.
    static void setTestMode(bool on);
    static bool testMode();
    static void setNextFileName(const QString& fileName);
    static void setNextFileCancel();
    // The answer to the next question; unanswered questions get "Não", as Enter would.
    static void setNextAnswer(bool yes);
    static const QList<Shown>& shown();
    static const QList<FileRequest>& fileRequests();
    static void clearShown();
    // Runs after a message is recorded in test mode, as the modal dialog would have run.
    static void setOnShown(std::function<void(const Shown&)> callback);
};

} // namespace ui
