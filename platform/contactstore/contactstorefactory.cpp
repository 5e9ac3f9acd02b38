#include "contactstorefactory.h"

#include "contactstoreengine.h"

using namespace QtContacts;

QContactManagerEngine *ContactStoreFactory::engine(const QMap<QString, QString> &parameters,
                                                   QContactManager::Error *error)
{
    return ContactStoreEngine::open(parameters, error);
}

QString ContactStoreFactory::managerName() const
{
    return ContactStoreEngine::engineName();
}
