#include "browser/SynchLink.h"

#include "browser/CatalogueStore.h"
#include "browser/MirrowelDoc.h"
#include "browser/SynchLauncher.h"
#include "common/DdeSender.h"
#include "common/SynchCommandLine.h"
#include "database/DbAddress.h"

#include <QTimer>

CSynchLink::CSynchLink(CMirrowelDoc& doc, QObject* parent) : QObject(parent), m_doc(doc) {}

CSynchLink::~CSynchLink()
{
    CancelRefreshes();
}

void CSynchLink::SetSynchLauncher(CSynchLauncher* launcher)
{
    if (m_pLauncher)
        m_pLauncher->disconnect(this);
    m_pLauncher = launcher;
    if (m_pLauncher)
        connect(m_pLauncher, &CSynchLauncher::adviseReceived, this,
                [this](const QString&, const QString& item, bool, quint32) { OnAdvise(item); });
}

CSynchLauncher* CSynchLink::SynchLauncher()
{
    if (!m_pLauncher)
    {
        auto launcher = std::make_unique<CDdeSynchLauncher>(m_doc.Interaction(), SynchronizerProgramPath());
        launcher->SetStartInBackground(true);
        m_pOwnLauncher = std::move(launcher);
        SetSynchLauncher(m_pOwnLauncher.get());
    }
    return m_pLauncher;
}

void CSynchLink::Send(const QString& topic, const QString& commandLine, qint32 catalogueId)
{
    SynchLauncher()->Post(topic, commandLine,
                          [this, catalogueId](bool sent)
                          {
                              if (sent && m_doc.IsOpen())
                                  ScheduleCatalogueRefresh(catalogueId, 8000);
                          });
}

void CSynchLink::OnAdvise(const QString& item)
{
    if (!m_doc.IsOpen() || m_doc.IsClosing())
        return;
    const SynchCommandLine line = SynchCommandLine::Parse(item);
    // The synchronizer reports on every database it works on; another one's catalogue ids mean
    // other catalogues here.
    if (!line.database.isEmpty() && DbAddress::Key(line.database) != DbAddress::Key(m_doc.Path()))
        return;
    qint32 catalogueId = m_doc.Catalogues().GetCatalogueIdFromCatalogueName(line.catalogue);
    // Our own command lines name most catalogues by identifier.
    if (catalogueId == 0)
        catalogueId = line.catalogueId;
    if (catalogueId != 0)
        ScheduleCatalogueRefresh(catalogueId, 5000);
}

void CSynchLink::ScheduleCatalogueRefresh(qint32 catalogueId, int delayMs)
{
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this,
            [this, timer, catalogueId]
            {
                std::erase(m_refreshTimers, timer);
                timer->deleteLater();
                if (m_doc.IsClosing())
                    return;
                m_doc.ShowStatus(QStringLiteral("Refreshing..."));
                emit catalogueChanged(catalogueId);
                m_doc.ShowStatus(QString());
            });
    m_refreshTimers.push_back(timer);
    timer->start(delayMs);
}

void CSynchLink::CancelRefreshes()
{
    for (QTimer* timer : m_refreshTimers)
        delete timer;
    m_refreshTimers.clear();
}
