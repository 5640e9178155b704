#pragma once
#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTimer;

namespace mdk {

// What a wait dialog shows of its worker and how it stops it: text() is read at every
// poll; cancel() runs on the GUI thread when the user presses Cancel. Both may be empty.
struct WaitProgress {
    std::function<std::string()> text;
    std::function<void()> cancel;
};

// Dialog 1700: shown while a worker thread runs. A timer of 100 ms polls the worker's
// done flag and closes the dialog once it is set. The close box closes at once and the
// worker runs on; other commands (Escape) are ignored. With a WaitProgress the dialog also
// shows the progress line and a Cancel button that asks the worker to stop.
class WaitDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerId = 5555;
    static constexpr int kPollMs = 100;
    static constexpr int kProgressLineId = 1704;
    static constexpr int kProgressWidth = 520;

    WaitDialog(std::function<bool()> workerDone, QWidget* parent = nullptr,
               WaitProgress progress = {});

    // The polling timer (tests drive it by calling poll()).
    QTimer* pollTimer() const { return timer_; }

public slots:
    // One tick of timer 5555: closes when the worker is done, else shows the progress.
    void poll();
    // The Cancel button: asks the worker to stop; the dialog stays until it has.
    void cancel();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    std::function<bool()> workerDone_;
    WaitProgress progress_;
    QTimer* timer_;
    QLabel* progressLine_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace mdk
