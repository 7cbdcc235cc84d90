#include "gui/browser/handlers/SlideshowDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace
{
QRadioButton* Radio(const QString& text)
{
    auto* button = new QRadioButton(text);
    button->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    return button;
}

QGroupBox* Group(const QString& title, std::initializer_list<QRadioButton*> buttons)
{
    auto* group = new QGroupBox(title);
    group->setAccessibleName(QString(title).remove(QLatin1Char('&')));
    auto* layout = new QVBoxLayout(group);
    for (QRadioButton* button : buttons)
        layout->addWidget(button);
    return group;
}
} // namespace

CSlideshowDialog::CSlideshowDialog(const SSlideshowSettings& settings, QWidget* parent)
    : QDialog(parent), m_pAll(Radio(QStringLiteral("&All Files"))),
      m_pSelected(Radio(QStringLiteral("&Selected Files"))),
      m_pChecked(Radio(QStringLiteral("&Checked Files"))), m_pSlideTime(new QDoubleSpinBox),
      m_pOnce(Radio(QStringLiteral("&Once"))), m_pLoop(Radio(QStringLiteral("&Loop"))),
      m_pRandom(Radio(QStringLiteral("&Random")))
{
    setWindowTitle(QStringLiteral("Slideshow"));
    m_pSlideTime->setAccessibleName(QStringLiteral("Slide Time"));
    m_pSlideTime->setRange(0.0, 86400.0);
    m_pSlideTime->setDecimals(1);
    m_pSlideTime->setSuffix(QStringLiteral(" s"));
    m_pSlideTime->setValue(settings.dSlideTime);
    (settings.files == ESlideFiles::Selected  ? m_pSelected
     : settings.files == ESlideFiles::Checked ? m_pChecked
                                              : m_pAll)
        ->setChecked(true);
    (settings.order == ESlideOrder::Loop     ? m_pLoop
     : settings.order == ESlideOrder::Random ? m_pRandom
                                             : m_pOnce)
        ->setChecked(true);

    auto* time = new QFormLayout;
    time->addRow(QStringLiteral("Slide Time"), m_pSlideTime);
    auto* buttons = new QDialogButtonBox;
    QPushButton* play = buttons->addButton(QStringLiteral("&Play"), QDialogButtonBox::AcceptRole);
    play->setAccessibleName(QStringLiteral("Play"));
    play->setDefault(true);
    buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole)
        ->setAccessibleName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group(QStringLiteral("&Which files in file list?"), {m_pAll, m_pSelected, m_pChecked}));
    layout->addLayout(time);
    layout->addWidget(Group(QStringLiteral("Order"), {m_pOnce, m_pLoop, m_pRandom}));
    layout->addWidget(buttons);
}

SSlideshowSettings CSlideshowDialog::Settings() const
{
    SSlideshowSettings settings;
    settings.files = m_pSelected->isChecked()  ? ESlideFiles::Selected
                     : m_pChecked->isChecked() ? ESlideFiles::Checked
                                               : ESlideFiles::All;
    settings.dSlideTime = m_pSlideTime->value();
    settings.order = m_pLoop->isChecked()     ? ESlideOrder::Loop
                     : m_pRandom->isChecked() ? ESlideOrder::Random
                                              : ESlideOrder::Once;
    return settings;
}
