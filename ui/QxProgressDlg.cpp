#include "QxProgressDlg.h"

#include "platform/TemplateDialog.h"
#include "platform/ThreadStart.h"
#include "res/ResourceIds.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QProgressBar>
#include <QWindow>

QPointer<QProgressBar> g_pStepTarget;

namespace {
constexpr auto kStepInterval = std::chrono::milliseconds(100);

// The step the stepping thread asks for, carried out on the GUI thread. The bar wraps to
// its start once it is full, so it keeps moving for as long as the operation waits.
void StepTargetBar() {
    if (!g_pStepTarget)
        return;
    CTextProgressCtrl bar;
    bar.Attach(g_pStepTarget);
    bar.StepIt();
}

// The window has no parent widget (it must stay enabled while its owner is disabled), but
// the window system keeps it above its owner, as an owned window.
void KeepAbove(QWidget* window, QWidget* owner) {
    window->winId();
    owner->window()->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setTransientParent(owner->window()->windowHandle());
}
} // namespace

CQxProgressDlg::CQxProgressDlg(QWidget* owner, const QString& caption, bool bPlainBar) {
    CreateAndShow(owner, caption);
    if (!bPlainBar && m_window) {
        m_wndProgress.SubclassDlgItem(res::IDC_PROGRESS_BAR, m_window);
        m_wndProgress.SetShowText(true);
    }
}

CQxProgressDlg::CQxProgressDlg(QWidget* owner, const QString& caption) {
    CreateAndShow(owner, caption);
}

CQxProgressDlg::~CQxProgressDlg() {
    OnCancel();
}

void CQxProgressDlg::CreateAndShow(QWidget* owner, const QString& caption) {
    m_bStepThreadRunning = false;
    m_pOwnerWnd = owner;
    if (owner == nullptr)
        return;
    owner->setEnabled(false);
    m_window = new platform::TemplateDialog(res::IDD_PROGRESS, nullptr);
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    // The operation cannot be cancelled half way: the operator cannot close the window, and
    // the owner stays disabled until the operation closes it.
    m_window->SetCloseAllowed(false);
    SetHeaderText(QString());
    SetCaptionText(caption);
    SetStatusText(QString());
    m_window->move(owner->geometry().center() - m_window->rect().center());
    KeepAbove(m_window, owner);
    m_window->show();
}

void CQxProgressDlg::OnCancel() {
    HaltStepThread();
    if (!m_window)
        return;
    if (m_pOwnerWnd)
        m_pOwnerWnd->setEnabled(true);
    platform::TemplateDialog* window = m_window;
    m_window = nullptr;
    QObject::disconnect(window, nullptr, nullptr, nullptr);
    window->hide();
    window->deleteLater();
    if (m_pOwnerWnd)
        m_pOwnerWnd->activateWindow(); // keyboard focus goes back where the operator was
}

void CQxProgressDlg::HaltStepThread() {
    if (!m_bStepThreadRunning)
        return;
    m_bStepThreadRunning = false;
    // The thread never waits for the GUI thread, so joining it cannot deadlock.
    m_stopStepping.Set();
    if (m_pStepThread) {
        m_pStepThread->join();
        m_pStepThread.reset();
    }
    if (g_pStepTarget == ProgressBar())
        g_pStepTarget = nullptr;
}

void CQxProgressDlg::SetItemText(int controlId, const QString& text) {
    if (!m_window)
        return;
    if (QWidget* control = m_window->GetDlgItem(controlId))
        control->setProperty("text", text);
}

void CQxProgressDlg::SetHeaderText(const QString& text) {
    SetItemText(res::IDC_PROGRESS_HEADER, text);
}

void CQxProgressDlg::SetCaptionText(const QString& text) {
    SetItemText(res::IDC_PROGRESS_CAPTION, text);
}

void CQxProgressDlg::SetStatusText(const QString& text) {
    SetItemText(res::IDC_PROGRESS_STATUS, text);
}

QProgressBar* CQxProgressDlg::ProgressBar() const {
    return m_window ? m_window->item<QProgressBar>(res::IDC_PROGRESS_BAR) : nullptr;
}

bool CQxProgressDlg::CanDriveBar() const {
    return !m_bStepThreadRunning && ProgressBar() != nullptr;
}

void CQxProgressDlg::SetProgressPos(int position) {
    if (!CanDriveBar())
        return;
    QProgressBar* bar = ProgressBar();
    position = std::clamp(position, bar->minimum(), bar->maximum());
    m_wndProgress.SetPos(position);
}

void CQxProgressDlg::StepProgress() {
    if (!CanDriveBar())
        return;
    m_wndProgress.StepIt();
}

void CQxProgressDlg::PrepareStepBar(int lower, int upper, int step) {
    if (!CanDriveBar())
        return;
    m_wndProgress.SetRange(lower, upper);
    m_wndProgress.SetPos(lower);
    m_wndProgress.SetStep(step);
    UpdateWindow();
}

void CQxProgressDlg::UpdateWindow() {
    if (m_window)
        m_window->repaint();
}

void CQxProgressDlg::StartStepThread() {
    if (m_bStepThreadRunning)
        return;
    // Without a window there is no bar to step: the thread then ends at once.
    g_pStepTarget = ProgressBar();
    m_stopStepping.Reset();
    const bool hasTarget = !g_pStepTarget.isNull();
    m_pStepThread = platform::StartThread([this, hasTarget] { StepThreadProc(hasTarget); });
    m_bStepThreadRunning = m_pStepThread != nullptr;
    if (!m_bStepThreadRunning)
        g_pStepTarget = nullptr; // no thread to be had: the bar simply stands still
}

// Asks the GUI thread for one step every 100 ms until halted. The step is posted, not
// waited for: the thread never blocks on the GUI thread.
void CQxProgressDlg::StepThreadProc(bool hasTarget) {
    while (hasTarget && !m_stopStepping.Wait(kStepInterval)) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &StepTargetBar,
                                  Qt::QueuedConnection);
    }
}
