#include "CommonFiles/foundation/QTXguid.h"

#include <QUuid>

QString QTXguid::GetNewGUID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}
