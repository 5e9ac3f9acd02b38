#pragma once

#include <QContactManagerEngineFactory>

// Plug-in entry of the contacts store engine for QContactManager.
class ContactStoreFactory : public QtContacts::QContactManagerEngineFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QT_CONTACT_MANAGER_ENGINE_INTERFACE FILE "contactstore.json")

public:
    QtContacts::QContactManagerEngine *engine(const QMap<QString, QString> &parameters,
                                              QtContacts::QContactManager::Error *error) override;
    QString managerName() const override;
};
