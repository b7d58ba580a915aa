#include "KoUiInit.h"

#include <QtGlobal>

static void initUiResourcesOnce()
{
    Q_INIT_RESOURCE(ui);
}

void koInitUiResources()
{
    static const bool done = (initUiResourcesOnce(), true);
    Q_UNUSED(done);
}
