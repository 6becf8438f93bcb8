// Takes the user's place in a modal dialog that a command opens: once the dialog is up, `step` runs
// on it (fill it, accept or reject it). Arm it before calling the command that opens the dialog.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class TDialogDriver
{
public:
    using TStep = std::function<void(QDialog&)>;

    // Runs `step` on the next modal dialog; every later dialog gets the step that was armed next.
    void Arm(TStep step)
    {
        steps_.push_back(std::move(step));
        Watch();
    }
    // Names of the dialogs met so far, in order.
    const QStringList& Met() const { return met_; }
    bool Idle() const { return steps_.empty(); }

private:
    void Watch()
    {
        QTimer::singleShot(kPollMs, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || dialog == last_) {
                if (!steps_.empty())
                    Watch();
                return;
            }
            last_ = dialog;
            met_ << dialog->objectName();
            TStep step = std::move(steps_.front());
            steps_.erase(steps_.begin());
            step(*dialog);
            if (!steps_.empty())
                Watch();
        });
    }

    static constexpr int kPollMs = 10;
    std::vector<TStep> steps_;
    QStringList met_;
    QPointer<QDialog> last_;
};
