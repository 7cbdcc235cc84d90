#include "gui/browser/AttributeSplitterWnd.h"

#include "browser/BrowserSettings.h"
#include "browser/models/AttributeListModel.h"
#include "gui/browser/attributes/AttributesListView.h"

namespace
{
const char* const kPaneNames[] = {"Current", "LastUsed", "All"};
}

CAttributeSplitterWnd::CAttributeSplitterWnd(const QString& prefix,
                                             const std::array<CAttributeListModel*, 3>& models,
                                             QWidget* parent)
    : QSplitter(Qt::Vertical, parent), m_strPrefix(prefix)
{
    setChildrenCollapsible(false);
    for (int pane = 0; pane < 3; ++pane)
    {
        // A one-column tree rather than a list: its header names the list.
        auto* view = new CAttributesListView(*models[pane], this);
        m_lists[pane] = view;
        addWidget(view);
        // The last list takes what the window gives beyond the stored heights.
        setStretchFactor(pane, pane == 2 ? 1 : 0);
    }
    connect(this, &QSplitter::splitterMoved, this, [this] { SaveHeights(); });
    for (CAttributeListModel* model : models)
    {
        // A toggle changes the checks in all three, what the Current list holds and, for a name
        // set, this user's last use; a new, renamed or deleted attribute changes the names.
        connect(model, &CAttributeListModel::attributeChanged, this,
                [models]
                {
                    for (CAttributeListModel* list : models)
                        if (list->Kind() == CAttributeListModel::ListKind::LastUsed)
                            list->Requery();
                        else
                            list->SelectionChanged();
                });
        connect(model, &CAttributeListModel::vocabularyChanged, this,
                [models, model]
                {
                    for (CAttributeListModel* list : models)
                        if (list != model)
                            list->Requery();
                });
    }
}

QString CAttributeSplitterWnd::HeightSetting(int pane) const
{
    return QStringLiteral("View/%1%2Height").arg(m_strPrefix, QLatin1String(kPaneNames[pane]));
}

void CAttributeSplitterWnd::showEvent(QShowEvent* event)
{
    QSplitter::showEvent(event);
    // Applied when first shown: a hidden tab's splitter has no height to share out yet.
    if (m_bHeightsApplied)
        return;
    QSettings settings = BrowserSettings();
    QList<int> heights;
    for (int pane = 0; pane < 3; ++pane)
        heights.append(qMax(1, settings.value(HeightSetting(pane), kDefaultHeight).toInt()));
    // The splitter shares any difference out in proportion; the first two keep their pixels when
    // the last one is given what is left.
    heights[2] = qMax(heights[2], height() - 2 * handleWidth() - heights[0] - heights[1]);
    setSizes(heights);
    m_bHeightsApplied = true;
}

void CAttributeSplitterWnd::SaveHeights() const
{
    if (!m_bHeightsApplied)
        return;
    QSettings settings = BrowserSettings();
    const QList<int> heights = sizes();
    for (int pane = 0; pane < 3 && pane < heights.size(); ++pane)
        settings.setValue(HeightSetting(pane), heights[pane]);
}
