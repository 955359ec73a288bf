#include "ptz/PTZ.h"

#include "model/SharedInstance.h"

PTZ::PTZ(QObject *parent)
    : QObject(parent)
{
    SharedInstance<PTZ>::adopt(this);
}

PTZ *PTZ::instance()
{
    return SharedInstance<PTZ>::get();
}
