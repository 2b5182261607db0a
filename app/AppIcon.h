#pragma once
// The application's icon, compiled in as a Qt resource: the PNG renderings of
// packaging/icons/kelvane.svg, the same pictures the installation puts in the
// icon theme. Needs a QGuiApplication.

#include <QIcon>

QIcon kelvaneIcon();
