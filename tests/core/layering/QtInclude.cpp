#include <QObject>  // a core source must not reach Qt
