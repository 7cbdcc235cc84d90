#pragma once

#include "gui/browser/attributes/AttributesListView.h"

#include <QSplitter>
#include <QString>

#include <array>

class CAttributeListModel;

// The three attribute lists of one vocabulary stacked in a splitter: the attributes of the
// selected files (Current), those used last (Last Used) and all of them (All). Their heights are
// the user's: read from the "View" settings ("KeywordsCurrentHeight" ...), written back when the
// person moves a divider and when the window closes. A change in one list shows in all three.
class CAttributeSplitterWnd final : public QSplitter
{
    Q_OBJECT

public:
    static constexpr int kDefaultHeight = 150;

    // prefix names the settings: "Keywords" or "Categories"; models are Current, Last Used, All.
    CAttributeSplitterWnd(const QString& prefix, const std::array<CAttributeListModel*, 3>& models,
                          QWidget* parent = nullptr);

    // "View/KeywordsCurrentHeight" and so on, for the pane at index 0, 1 or 2.
    QString HeightSetting(int pane) const;
    CAttributesListView* List(int pane) const { return m_lists[pane]; }
    // Writes the heights shown; nothing when the panes were never laid out.
    void SaveHeights() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_strPrefix;
    std::array<CAttributesListView*, 3> m_lists{};
    bool m_bHeightsApplied = false;
};
