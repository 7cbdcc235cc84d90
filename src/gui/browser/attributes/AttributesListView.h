#pragma once

#include <QTreeView>

#include <optional>
#include <utility>

class CAttributeListModel;

// One attribute list of the navigator: the names with their check boxes (a click or Space
// toggles the name on the selected files), a context menu with New on empty space and Rename and
// Delete on a row, in-place naming (F2), Delete, and a jump to the first name that starts with a
// typed character.
class CAttributesListView final : public QTreeView
{
    Q_OBJECT

public:
    explicit CAttributesListView(CAttributeListModel& model, QWidget* parent = nullptr);
    using QTreeView::edit;

    CAttributeListModel& Model() const { return m_model; }

public slots:
    // An empty row at the end, opened for its name.
    void OnMwAttributeNew();
    // The current row opened for its new name.
    void OnMwAttributeRename();
    void OnMwAttributeDelete();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    CAttributeListModel& m_model;
    int m_nEditRow = -1;
    // The typed name, handed to the model once the editor has closed: the change reads the lists
    // again, which must not happen under an open editor.
    std::optional<std::pair<int, QString>> m_pendingEdit;
};
