#pragma once

#include "commdll/TextProgressCtrl.h"
#include "platform/ManualResetEvent.h"

#include <QPointer>
#include <QString>

#include <memory>
#include <thread>

class QProgressBar;
class QWidget;
namespace platform {
class TemplateDialog;
}

// The bar that the bar-stepping thread advances; cleared when its window goes. Only the
// GUI thread reads or writes it.
extern QPointer<QProgressBar> g_pStepTarget;

// A small modeless window that shows what an operation is doing: three centred text lines
// and a bar. While it is shown its owner is disabled. The bar is either driven by the
// operation (text bar) or advanced every 100 ms by a stepping thread (plain bar).
class CQxProgressDlg {
public:
    CQxProgressDlg(QWidget* owner, const QString& caption, bool bPlainBar);
    CQxProgressDlg(QWidget* owner, const QString& caption);
    virtual ~CQxProgressDlg();
    CQxProgressDlg(const CQxProgressDlg&) = delete;
    CQxProgressDlg& operator=(const CQxProgressDlg&) = delete;

    // Halts a stepping thread, enables the owner and closes the window; the object lives on.
    // Only the operation calls it: the operator cannot close the window.
    void OnCancel();

    void SetProgressPos(int position);
    void StepProgress();
    // Range, position 0 and step of a bar the operation drives itself (a no-op while the
    // stepping thread runs or without a window); repaints at once.
    void PrepareStepBar(int lower, int upper, int step);

    void SetHeaderText(const QString& text);
    void SetCaptionText(const QString& text);
    void SetStatusText(const QString& text);
    void SetItemText(int controlId, const QString& text);

    // Without a thread to be had the bar stands still and the operation goes on.
    void StartStepThread();
    // Repaints the window at once.
    void UpdateWindow();

    bool HasWindow() const { return !m_window.isNull(); }
    platform::TemplateDialog* Window() const { return m_window.data(); }
    QProgressBar* ProgressBar() const;

private:
    void CreateAndShow(QWidget* owner, const QString& caption);
    void HaltStepThread();
    void StepThreadProc(bool hasTarget);
    bool CanDriveBar() const;

    bool m_bStepThreadRunning = false;
    std::unique_ptr<std::thread> m_pStepThread;
    platform::ManualResetEvent m_stopStepping;
    QPointer<QWidget> m_pOwnerWnd;
    CTextProgressCtrl m_wndProgress;
    QPointer<platform::TemplateDialog> m_window;
};
