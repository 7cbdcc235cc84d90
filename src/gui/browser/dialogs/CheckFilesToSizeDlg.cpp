#include "gui/browser/dialogs/CheckFilesToSizeDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

bool CapacityFieldAcceptsKey(int key, const QString& text, Qt::KeyboardModifiers modifiers,
                             const QString& textWithoutSelection)
{
    static const int editing[] = {
        Qt::Key_Backspace, Qt::Key_Delete,  Qt::Key_Left,    Qt::Key_Right, Qt::Key_Home,   Qt::Key_End,
        Qt::Key_Tab,       Qt::Key_Backtab, Qt::Key_Return,  Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Up,
        Qt::Key_Down,      Qt::Key_Shift,   Qt::Key_Control, Qt::Key_Alt,   Qt::Key_Insert};
    for (const int k : editing)
        if (key == k)
            return true;
    // Clipboard and undo shortcuts; the validator still refuses what does not make a number.
    if (modifiers & Qt::ControlModifier)
        return true;
    if (text.size() != 1)
        return false;
    const QChar c = text.front();
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return true;
    return c == QLatin1Char('.') && !textWithoutSelection.contains(QLatin1Char('.'));
}

CCheckFilesToSizeDlg::CCheckFilesToSizeDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Check Files to Size"));
    setAccessibleName(QStringLiteral("Check Files to Size"));

    auto* text = new QLabel(QStringLiteral("Check files in the file list to fit the following size:"), this);
    m_pPresets = new QComboBox(this);
    m_pPresets->setAccessibleName(QStringLiteral("Size"));
    for (const CCapacityPreset& preset : CapacityPresets())
        m_pPresets->addItem(QString::fromUtf8(preset.name));
    m_pPresets->addItem(QStringLiteral("Custom"));
    m_pPresets->setCurrentIndex(-1);
    m_pPresets->setPlaceholderText(QStringLiteral("Choose a size"));

    m_pNumber = new QLineEdit(this);
    m_pNumber->setAccessibleName(QStringLiteral("Custom size"));
    m_pNumber->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d*\\.?\\d*")), m_pNumber));
    m_pNumber->installEventFilter(this);
    m_pUnits = new QComboBox(this);
    m_pUnits->setAccessibleName(QStringLiteral("Unit"));
    for (const auto& unit : CapacityUnits())
        m_pUnits->addItem(unit.first);
    m_pUnits->setCurrentIndex(kDefaultCapacityUnit);
    auto* custom = new QHBoxLayout;
    custom->addWidget(m_pNumber, 1);
    custom->addWidget(m_pUnits);

    auto* order = new QGroupBox(QStringLiteral("Order"), this);
    m_pByName = new QRadioButton(QStringLiteral("By File &Name"), order);
    m_pBySize = new QRadioButton(QStringLiteral("By File &Size (Largest first - more efficient)"), order);
    m_pByName->setChecked(true);
    auto* orderLayout = new QVBoxLayout(order);
    orderLayout->addWidget(m_pByName);
    orderLayout->addWidget(m_pBySize);

    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_pPresets);
    layout->addLayout(custom);
    layout->addWidget(order);
    layout->addWidget(m_pButtons);

    connect(m_pPresets, &QComboBox::currentIndexChanged, this, &CCheckFilesToSizeDlg::UpdateState);
    connect(m_pNumber, &QLineEdit::textChanged, this, &CCheckFilesToSizeDlg::UpdateState);
    connect(m_pUnits, &QComboBox::currentIndexChanged, this, &CCheckFilesToSizeDlg::UpdateState);
    UpdateState();
}

bool CCheckFilesToSizeDlg::IsCustom() const
{
    return m_pPresets->currentIndex() == static_cast<int>(CapacityPresets().size());
}

std::optional<qint64> CCheckFilesToSizeDlg::Capacity() const
{
    const int index = m_pPresets->currentIndex();
    if (index < 0)
        return std::nullopt;
    if (!IsCustom())
        return CapacityPresets()[index].bytes;
    return CustomCapacity(m_pNumber->text(), m_pUnits->currentIndex());
}

ECheckToSizeOrder CCheckFilesToSizeDlg::Order() const
{
    return m_pBySize->isChecked() ? ECheckToSizeOrder::BySize : ECheckToSizeOrder::ByName;
}

void CCheckFilesToSizeDlg::UpdateState()
{
    m_pNumber->setEnabled(IsCustom());
    m_pUnits->setEnabled(IsCustom());
    m_pButtons->button(QDialogButtonBox::Ok)->setEnabled(Capacity().has_value());
}

bool CCheckFilesToSizeDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pNumber && event->type() == QEvent::KeyPress)
    {
        const auto* key = static_cast<QKeyEvent*>(event);
        QString rest = m_pNumber->text();
        if (m_pNumber->hasSelectedText())
            rest.remove(m_pNumber->selectionStart(), m_pNumber->selectedText().size());
        if (!CapacityFieldAcceptsKey(key->key(), key->text(), key->modifiers(), rest))
        {
            QApplication::beep();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
