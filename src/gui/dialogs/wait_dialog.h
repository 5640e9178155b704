#pragma once
#include <QDialog>
#include <functional>

class QTimer;

namespace mdk {

// Dialog 1700: shown while a worker thread runs. A timer of 100 ms polls the worker's
// done flag and closes the dialog once it is set. The close box closes at once and the
// worker runs on; other commands (Escape) are ignored.
class WaitDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerId = 5555;
    static constexpr int kPollMs = 100;

    WaitDialog(std::function<bool()> workerDone, QWidget* parent = nullptr);

    // The polling timer (tests drive it by calling poll()).
    QTimer* pollTimer() const { return timer_; }

public slots:
    // One tick of timer 5555: closes when the worker is done.
    void poll();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    std::function<bool()> workerDone_;
    QTimer* timer_;
};

}  // namespace mdk
