#pragma once

#include <QString>

// The fresh program folder that every test process gets ($CANTAVO_HOME).
QString TestHome();

// A fresh empty folder below the test home.
QString MakeTestFolder(const QString& name);
