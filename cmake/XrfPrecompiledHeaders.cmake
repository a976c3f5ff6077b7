# Qt's headers are most of what every translation unit compiles. Libraries precompile the common
# ones per target; the test programs, one source each, share the precompiled header of the test
# support library instead of building their own.
set(XRF_QT_PCH_HEADERS
    <QByteArray> <QDateTime> <QDebug> <QDir> <QFile> <QFileInfo> <QHash> <QJsonArray>
    <QJsonDocument> <QJsonObject> <QJsonValue> <QList> <QMap> <QMutex> <QObject> <QString>
    <QStringList> <QThread> <QTimer> <QVector> <cmath> <functional> <memory>)

function(xrf_precompile_qt_headers target)
    if(XRF_PCH)
        target_precompile_headers(${target} PRIVATE ${XRF_QT_PCH_HEADERS} ${ARGN})
    endif()
endfunction()

function(xrf_reuse_precompiled_headers target from)
    xrf_test_code_options(${target})
    if(XRF_PCH)
        target_precompile_headers(${target} REUSE_FROM ${from})
    endif()
endfunction()

# Test programs need no more than -O1: it halves their compile time against -O2 and keeps the
# optimised build's behaviour (the library itself keeps the build type's level).
function(xrf_test_code_options target)
    target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo,Release>:-O1>)
endfunction()
