#include <QObject>  // the signal layer is pure computation, without Qt
