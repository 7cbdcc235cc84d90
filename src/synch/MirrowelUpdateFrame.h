#pragma once

#include <QMainWindow>

class CMirrowelUpdateApp;
class CMwuSynchState;
class CMwuTaskList;
class CMwuTaskListModel;
class QAction;
class QMenu;
class QSettings;
class QTableView;

// The synchronizer's window: a strip along the lower part of the screen listing every task row,
// with three commands (pause or resume, save the window position, About) in its context menu
// and its one small menu.
class CMirrowelUpdateFrame final : public QMainWindow
{
    Q_OBJECT

public:
    CMirrowelUpdateFrame(CMirrowelUpdateApp& app, CMwuSynchState& state, const CMwuTaskList& list,
                         QSettings& settings, QWidget* parent = nullptr);

    CMwuTaskListModel* Model() const { return m_pModel; }
    QTableView* View() const { return m_pView; }
    QAction* PauseAction() const { return m_pPause; }

    // Places the window at the stored percentages of the desktop, on top, without activating it.
    void FitAndPlace();
    void TogglePause();
    // Stores the window's position and size, unless it is minimised.
    void SaveWindowPosition();
    void ShowAbout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QSize DesktopSize() const;

    CMirrowelUpdateApp& m_app;
    CMwuSynchState& m_state;
    QSettings& m_settings;
    CMwuTaskListModel* m_pModel;
    QTableView* m_pView;
    QMenu* m_pMenu;
    QAction* m_pPause;
};
