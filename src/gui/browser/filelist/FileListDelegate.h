#pragma once

#include <QHash>
#include <QIcon>
#include <QStyledItemDelegate>

#include <functional>

class CMirrowelView;

// Draws the file list's rows: the selection or the group band behind them, the check box and
// the file-type icon in front of the first column, deleted rows red, italic and struck out,
// ghosts grey and italic, the focused row framed. Text is drawn as it is ("&" included). Its
// editor renames a file: the new name goes to the view's rename, never straight to the record.
class CFileListDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int kCheckWidth = 16;
    static constexpr int kIconWidth = 16;
    static constexpr QRgb kBandSet = qRgb(240, 240, 255);
    static constexpr QRgb kBandClear = qRgb(255, 255, 240);
    static constexpr QRgb kDeletedText = qRgb(240, 0, 0);

    explicit CFileListDelegate(CMirrowelView& view);

    void SetIconProvider(std::function<QIcon(const QString& extension)> provider);
    // Looked up once per extension.
    QIcon Icon(const QString& extension) const;
    static QIcon DesktopIcon(const QString& extension);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

private:
    CMirrowelView& m_view;
    std::function<QIcon(const QString&)> m_provider;
    mutable QHash<QString, QIcon> m_icons;
};
