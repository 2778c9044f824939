#pragma once
// The application icon (resource 128), in every size the desktop asks for.

#include <QIcon>

QIcon LoadAppIcon();
