#include "gui/browser/filelist/FileListDelegate.h"

#include "browser/RecordSetList.h"
#include "browser/RecordSetSql.h"
#include "gui/browser/filelist/MirrowelView.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

namespace
{
const char* const kFilled = "quarraneFilled";
}

CFileListDelegate::CFileListDelegate(CMirrowelView& view) : QStyledItemDelegate(&view), m_view(view) {}

void CFileListDelegate::SetIconProvider(std::function<QIcon(const QString& extension)> provider)
{
    m_provider = std::move(provider);
    m_icons.clear();
}

QIcon CFileListDelegate::DesktopIcon(const QString& extension)
{
    static const QMimeDatabase mimes;
    const QMimeType type =
        extension.isEmpty()
            ? mimes.mimeTypeForName(QStringLiteral("application/octet-stream"))
            : mimes.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    for (const QString& name : {type.iconName(), type.genericIconName()})
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QIcon CFileListDelegate::Icon(const QString& extension) const
{
    const QString key = extension.toCaseFolded();
    const auto it = m_icons.constFind(key);
    if (it != m_icons.constEnd())
        return *it;
    const QIcon icon = m_provider ? m_provider(extension) : DesktopIcon(extension);
    m_icons.insert(key, icon);
    return icon;
}

void CFileListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    const int row = index.row();
    const QPalette& palette = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const CRecordSetList& list = m_view.List();
    const bool grouped = list.Sql().IsGroupedOrder() && list.Sql().GroupingDepth() > 0;

    painter->save();
    QColor background = palette.color(QPalette::Base);
    if (selected)
        background = palette.color(QPalette::Highlight);
    else if (grouped)
        background = QColor(index.data(CRecordSetList::BandRole).toBool() ? kBandSet : kBandClear);
    painter->fillRect(option.rect, background);

    QRect text = option.rect.adjusted(2, 0, -2, 0);
    if (index.column() == m_view.horizontalHeader()->logicalIndex(0))
    {
        // The check box: checked or not, greyed for a file that is never checked by itself.
        QStyleOptionButton check;
        check.rect =
            QRect(option.rect.left() + 1, option.rect.top() + (option.rect.height() - 14) / 2, 14, 14);
        check.state = m_view.IsChecked(row) ? QStyle::State_On : QStyle::State_Off;
        if (!m_view.IsDontMark(row))
            check.state |= QStyle::State_Enabled;
        check.palette = palette;
        m_view.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, &m_view);
        const QRect iconRect(option.rect.left() + kCheckWidth + 1,
                             option.rect.top() + (option.rect.height() - 16) / 2, 16, 16);
        if (!index.data(CRecordSetList::LoadingRole).toBool())
            Icon(m_view.Extension(row)).paint(painter, iconRect);
        text.setLeft(option.rect.left() + kCheckWidth + kIconWidth + 4);
    }

    QFont font = option.font;
    QColor colour = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    if (m_view.IsDeleted(row))
    {
        font.setItalic(true);
        font.setStrikeOut(true);
        colour = QColor(kDeletedText);
    }
    else if (m_view.IsGhost(row))
    {
        font.setItalic(true);
        colour = palette.color(QPalette::Disabled, QPalette::Text);
    }
    painter->setFont(font);
    painter->setPen(colour);
    const bool editing = m_view.IsEditing() && m_view.currentIndex() == index;
    if (!editing)
    {
        const Qt::Alignment alignment =
            Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt()) | Qt::AlignVCenter;
        const QString shown =
            QFontMetrics(font).elidedText(m_view.CellText(index), Qt::ElideRight, text.width());
        painter->drawText(text, static_cast<int>(alignment) | Qt::TextSingleLine, shown);
    }

    // The focused row is framed across all its cells.
    if (m_view.currentIndex().isValid() && m_view.currentIndex().row() == row && m_view.hasFocus())
    {
        QPen pen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        const QRect r = option.rect.adjusted(0, 0, -1, -1);
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        const QHeaderView* header = m_view.horizontalHeader();
        if (header->visualIndex(index.column()) == 0)
            painter->drawLine(r.topLeft(), r.bottomLeft());
        if (header->visualIndex(index.column()) == header->count() - 1)
            painter->drawLine(r.topRight(), r.bottomRight());
    }
    painter->restore();
}

QWidget* CFileListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                         const QModelIndex&) const
{
    auto* editor = new QLineEdit(parent);
    editor->setAccessibleName(QStringLiteral("File name"));
    editor->setFrame(false);
    return editor;
}

void CFileListDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // Pages read while the name is being edited change the model under the editor; the name typed
    // so far must not be replaced by the stored one.
    if (editor->property(kFilled).toBool())
        return;
    editor->setProperty(kFilled, true);
    auto* line = static_cast<QLineEdit*>(editor);
    line->setText(m_view.List().DataCtrl_GetFieldValue(index.row(), QStringLiteral("File.File")).ToString());
    line->selectAll();
}

void CFileListDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const
{
    m_view.FinishRename(index.row(), static_cast<QLineEdit*>(editor)->text());
}

void CFileListDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const
{
    QRect rect = option.rect;
    if (index.column() == m_view.horizontalHeader()->logicalIndex(0))
        rect.setLeft(rect.left() + kCheckWidth + kIconWidth + 2);
    editor->setGeometry(rect);
}
