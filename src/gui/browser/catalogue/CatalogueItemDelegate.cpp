#include "gui/browser/catalogue/CatalogueItemDelegate.h"

#include "browser/MediaPresence.h"
#include "browser/models/CatalogueTreeModel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace
{
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback)
{
    const QString themeName = QString::fromLatin1(name);
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return QApplication::style()->standardIcon(fallback);
}

// The picture of a drive type image number (0 unknown, 1 no root dir ... 6 RAM disk).
QIcon DriveIcon(int image)
{
    switch (image)
    {
    case 2:
        return ThemeIcon("drive-removable-media", QStyle::SP_DriveFDIcon);
    case 3:
        return ThemeIcon("drive-harddisk", QStyle::SP_DriveHDIcon);
    case 4:
        return ThemeIcon("network-server", QStyle::SP_DriveNetIcon);
    case 5:
        return ThemeIcon("media-optical", QStyle::SP_DriveCDIcon);
    case 6:
        return ThemeIcon("media-flash", QStyle::SP_DriveHDIcon);
    default:
        return ThemeIcon("drive-harddisk", QStyle::SP_DriveHDIcon);
    }
}
} // namespace

CCatalogueItemDelegate::CCatalogueItemDelegate(const CMediaPresence& media, QObject* parent)
    : QStyledItemDelegate(parent), m_media(media)
{
}

QString CCatalogueItemDelegate::MediumText(const QModelIndex& index) const
{
    if (index.data(CCatalogueTreeModel::KindRole).toInt() != CCatalogueTreeRecord::KindCatalogue)
        return {};
    const std::optional<bool> online =
        m_media.IsOnline(index.data(CCatalogueTreeModel::CatalogueIdRole).toInt());
    if (!online)
        return {};
    return *online ? QStringLiteral("Online") : QStringLiteral("Offline");
}

void CCatalogueItemDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->features |= QStyleOptionViewItem::HasDecoration;
    switch (index.data(CCatalogueTreeModel::KindRole).toInt())
    {
    case CCatalogueTreeRecord::KindGroup:
        option->icon = ThemeIcon("folder", QStyle::SP_DirIcon);
        break;
    case CCatalogueTreeRecord::KindCatalogue:
        option->icon = DriveIcon(index.data(CCatalogueTreeModel::ImageRole).toInt());
        if (MediumText(index) == QStringLiteral("Offline"))
        {
            // The catalogue stays usable offline; only its medium is away.
            option->palette.setColor(QPalette::Text,
                                     option->palette.color(QPalette::Disabled, QPalette::Text));
            option->icon = QIcon(option->icon.pixmap(option->decorationSize, QIcon::Disabled));
        }
        break;
    default:
        option->icon = ThemeIcon("folder-open", QStyle::SP_DirOpenIcon);
        break;
    }
}

QRect CCatalogueItemDelegate::StateImageRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                                             const QWidget* widget) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (!(opt.features & QStyleOptionViewItem::HasCheckIndicator))
        return {};
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
}

void CCatalogueItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (!index.data(CCatalogueTreeModel::ExcludedRole).toBool())
        return;
    const QRect check = StateImageRect(option, index, option.widget);
    if (check.isEmpty())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(QColor(200, 30, 30), 2));
    painter->drawLine(check.bottomLeft() + QPoint(1, -1), check.topRight() + QPoint(-1, 1));
    painter->restore();
}

bool CCatalogueItemDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                       const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip ||
        index.data(CCatalogueTreeModel::KindRole).toInt() != CCatalogueTreeRecord::KindCatalogue)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStringList lines{index.data().toString()};
    if (const QString medium = MediumText(index); !medium.isEmpty())
        lines.append(medium == QStringLiteral("Online") ? QStringLiteral("Medium mounted")
                                                        : QStringLiteral("Medium not mounted"));
    if (index.data(CCatalogueTreeModel::ExcludedRole).toBool())
        lines.append(QStringLiteral("Excluded from duplicate searches"));
    QToolTip::showText(event->globalPos(), lines.join(QLatin1Char('\n')), view);
    return true;
}
