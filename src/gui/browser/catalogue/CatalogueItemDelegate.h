#pragma once

#include <QStyledItemDelegate>

class CMediaPresence;

// Draws a catalogue browser item: groups as folders, catalogues by the drive type of their medium
// (greyed while the medium is not mounted), folders as folders, and the check box of a catalogue
// with a red bar when it is excluded from duplicate searches.
class CCatalogueItemDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    CCatalogueItemDelegate(const CMediaPresence& media, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // The check box of a catalogue item within the item's rectangle.
    QRect StateImageRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                         const QWidget* widget) const;

    // What the item shows about its medium: "Online", "Offline", or empty (not a catalogue, or
    // not known yet).
    QString MediumText(const QModelIndex& index) const;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const CMediaPresence& m_media;
};
