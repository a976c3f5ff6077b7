// The method lists of the work order: variants and twins, full-demo units, the technician's
// selection, the cache and its failures, hostile ids, and the method selection change.

#include "factorytestenv.h"
#include "xrfmethod.h"
#include "xrfsettingsmanager.h"

#include <QtTest>

namespace {

using Worker = XrfFactoryManager::XrfFactoryManagerPrivate;

QJsonObject mapEntry(const QString &id, bool native, bool dual)
{
    return {{"partId", id.toUpper()},
            {"id", id},
            {"family", id},
            {"isNativeCalibration", native},
            {"hasDualCalibration", dual},
            {"isSyntheticMethod", dual},
            {"syntheticShotSelectionParameter", "resolution"},
            {"syntheticShotSelectionParameterColl", "resolutionColl"},
            {"bigSetFactorSetProcedure", "bigProc"}};
}

struct Listed
{
    bool ok = false;
    QList<ModelMethod> methods;
    QString error;
};

} // namespace

class TstMethodLists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void bigSetNativeMethodGetsItsVariantIdAndTwinFirst();
    void uncollimatedWorkOrderHasNoTwin();
    void customRegionsBecomeSymbolsAndUnknownNamesAreSkipped();
    void selectionSurvivesAFirstBuildForAllMethods();
    void allMethodsSelectionSelectsEverything();
    void failedBuildStaysAFailureFromTheCache();
    void partNumberMissingFromTheMapKeepsTheError();
    void fullDemoUnitListsItsDemoAndCalibratedMethods();
    void fullDemoWithAnotherMethodFails();
    void hostileMethodIdIsRefusedBeforeAnyPath();
    void factoryMethodIdsNeedBothArguments();
    void selectionChangeRemovesOnlyListedMethodsNotFactorSet();
    void selectionChangeDeletesNothingAfterAFailedRebuild();

private:
    void install(const QJsonArray &modelMethod, const QJsonObject &methods,
                 bool unCollimated = false);
    Listed list(bool allMethods, bool reload = true);
    QString methodsFolder() const;
    void makeMethodFolder(const QString &id, bool factorSet);

    QJsonObject m_originalWorkOrder;
    QJsonObject m_originalMap;
};

void TstMethodLists::initTestCase()
{
    FactoryTestEnv &env = FactoryTestEnv::start();
    QVERIFY(env.seedModelData("default"));
    QJsonValue value;
    QVERIFY(XrfUtils::readJsonFile(env.factoryDataPath() + "/workOrderInfo.json", &value));
    m_originalWorkOrder = value.toObject();
}

void TstMethodLists::cleanupTestCase()
{
    FactoryTestEnv::get().settleBeforeExit();
}

void TstMethodLists::install(const QJsonArray &modelMethod, const QJsonObject &methods,
                             bool unCollimated)
{
    FactoryTestEnv &env = FactoryTestEnv::get();
    QJsonObject info = m_originalWorkOrder;
    QJsonObject workOrder = info.value("workOrder").toObject();
    workOrder.insert("modelMethod", modelMethod);
    workOrder.insert("isUnCollimated", unCollimated);
    info.insert("workOrder", workOrder);
    QVERIFY(XrfUtils::writeJsonFile(env.factoryDataPath() + "/workOrderInfo.json",
                                    QJsonDocument(info)));
    QVERIFY(XrfUtils::writeJsonFile(
        env.homePath() + "/calibrationdefault/methodsPartIdMap.json",
        QJsonDocument(QJsonObject{{"methods", QJsonObject{{"default", methods}}},
                                  {"beamSettings", QJsonObject()}})));
    env.reloadFactoryData();
    env.onFactoryThread([] { FactoryTestEnv::get().worker()->factorySelectedMethod.clear(); });
}

Listed TstMethodLists::list(bool allMethods, bool reload)
{
    return FactoryTestEnv::get().onFactoryThread([&] {
        Listed listed;
        listed.ok = FactoryTestEnv::get().worker()->getMethodsList(&listed.methods, &listed.error,
                                                                   allMethods, reload);
        return listed;
    });
}

QString TstMethodLists::methodsFolder() const
{
    return FactoryTestEnv::get().homePath() + "/profile/instrumentsettings/methods";
}

void TstMethodLists::makeMethodFolder(const QString &id, bool factorSet)
{
    const QString folder = methodsFolder() + "/" + id;
    QDir().mkpath(folder);
    QVERIFY(XrfUtils::writeJsonFile(
        folder + "/CalcMethod_" + id + ".json",
        QJsonDocument(QJsonObject{{"id", id}, {"isFactorSet", factorSet}})));
}

void TstMethodLists::bigSetNativeMethodGetsItsVariantIdAndTwinFirst()
{
    install({QJsonObject{{"name", " ALLOY-BIGSET "}}}, {{"ALLOY", mapEntry("Alloy", true, true)}});
    const Listed listed = list(true);
    QVERIFY2(listed.ok, qPrintable(listed.error));
    QCOMPARE(listed.methods.size(), 2);
    const ModelMethod twin = listed.methods.at(0);
    const ModelMethod method = listed.methods.at(1);
    QCOMPARE(method.id(), QString("Alloy-BigSet-ISC"));
    QCOMPARE(method.templateName(), QString("Alloy"));
    QCOMPARE(method.partNumber(), QString("ALLOY-BIGSET"));
    QCOMPARE(method.bigSetFactorSetProcedure(), QString("bigProc"));
    QCOMPARE(method.alternateCalibrationMethodID(), QString("Alloy-BigSet-ISC-Coll"));
    QCOMPARE(twin.id(), QString("Alloy-BigSet-ISC-Coll"));
    QCOMPARE(twin.partNumber(), QString("ALLOY-BIGSET__COLL"));
    QCOMPARE(twin.family(), QString("AlloyColl"));
    QVERIFY(twin.isCollimatedCalibration() && !twin.hasDualCalibration());
    QCOMPARE(twin.syntheticShotSelectionParameter(), QString("resolutionColl"));
}

void TstMethodLists::uncollimatedWorkOrderHasNoTwin()
{
    install({QJsonObject{{"name", "ALLOY"}}}, {{"ALLOY", mapEntry("Alloy", false, true)}}, true);
    const Listed listed = list(true);
    QVERIFY(listed.ok);
    QCOMPARE(listed.methods.size(), 1);
    QCOMPARE(listed.methods.first().id(), QString("Alloy"));
    QVERIFY(listed.methods.first().bigSetFactorSetProcedure().isEmpty());
}

void TstMethodLists::customRegionsBecomeSymbolsAndUnknownNamesAreSkipped()
{
    install({QJsonObject{
                {"name", "SOIL"},
                {"customRegion",
                 QJsonArray{QJsonObject{{"name", " Copper"}}, QJsonObject{{"name", "Kryptonite"}},
                            QJsonObject{{"name", "Gold"}}}}}},
            {{"SOIL", mapEntry("soil", false, false)}});
    const Listed listed = list(true);
    QVERIFY(listed.ok);
    QCOMPARE(listed.methods.first().customRegionSymbols(), QList<QString>({"Cu", "Au"}));
}

// The first build decides both lists: one made for all methods keeps the technician's choice.
void TstMethodLists::selectionSurvivesAFirstBuildForAllMethods()
{
    install({QJsonObject{{"name", "ALLOY"}}, QJsonObject{{"name", "SOIL"}}},
            {{"ALLOY", mapEntry("alloy", true, false)}, {"SOIL", mapEntry("soil", false, false)}});
    QJsonObject settings;
    XrfSettingsManager::instance()->getUniversalSetting("factory.settings", &settings);
    settings.insert("factorySelectedMethod", "soil");
    XrfSettingsManager::instance()->setUniversalSetting("factory.settings", &settings);
    QCOMPARE(list(true).methods.size(), 2);
    const Listed selected = list(false, false);
    QCOMPARE(selected.methods.size(), 1);
    QCOMPARE(selected.methods.first().id(), QString("soil"));
    settings.remove("factorySelectedMethod");
    XrfSettingsManager::instance()->setUniversalSetting("factory.settings", &settings);
}

void TstMethodLists::allMethodsSelectionSelectsEverything()
{
    install({QJsonObject{{"name", "ALLOY"}}, QJsonObject{{"name", "SOIL"}}},
            {{"ALLOY", mapEntry("alloy", true, false)}, {"SOIL", mapEntry("soil", false, false)}});
    FactoryTestEnv::get().onFactoryThread(
        [] { FactoryTestEnv::get().worker()->factorySelectedMethod = "_all_methods_"; });
    QCOMPARE(list(false).methods.size(), 2);
}

void TstMethodLists::failedBuildStaysAFailureFromTheCache()
{
    install({}, {{"ALLOY", mapEntry("alloy", true, false)}});
    Listed listed = list(true);
    QVERIFY(!listed.ok);
    QVERIFY(listed.error.startsWith("There are no methods in workorder:"));
    listed = list(false, false);
    QVERIFY(!listed.ok);
    QVERIFY(listed.methods.isEmpty());
    QVERIFY(listed.error.startsWith("There are no methods in workorder:"));
}

void TstMethodLists::partNumberMissingFromTheMapKeepsTheError()
{
    install({QJsonObject{{"name", "GHOST"}}, QJsonObject{{"name", "SOIL"}}},
            {{"SOIL", mapEntry("soil", false, false)}});
    const Listed listed = list(true);
    QVERIFY(!listed.ok);
    QCOMPARE(listed.methods.size(), 1);
    QVERIFY2(listed.error.contains("GHOST") && listed.error.contains("methods map does not have"),
             qPrintable(listed.error));
}

void TstMethodLists::fullDemoUnitListsItsDemoAndCalibratedMethods()
{
    install(
        {QJsonObject{{"name", "FD-1"}}},
        {{"FD-1", QJsonObject{{"methodsList", QJsonArray{"SOIL"}}, {"calibrateMethod", "ALLOY"}}},
         {"ALLOY", mapEntry("alloy", false, false)},
         {"SOIL", mapEntry("soil", false, false)}});
    const Listed listed = list(true);
    QVERIFY2(listed.ok, qPrintable(listed.error));
    QCOMPARE(listed.methods.size(), 2);
    QCOMPARE(listed.methods.at(0).id(), QString("soil"));
    QVERIFY(listed.methods.at(0).isFullDemoMethod());
    QCOMPARE(listed.methods.at(1).id(), QString("alloy"));
    QVERIFY(!listed.methods.at(1).isFullDemoMethod());
}

void TstMethodLists::fullDemoWithAnotherMethodFails()
{
    install({QJsonObject{{"name", "FD-1"}}, QJsonObject{{"name", "SOIL"}}},
            {{"FD-1", QJsonObject{{"methodsList", QJsonArray{"SOIL"}}}},
             {"SOIL", mapEntry("soil", false, false)}});
    const Listed listed = list(true);
    QVERIFY(!listed.ok);
    QVERIFY(listed.methods.isEmpty());
    QCOMPARE(listed.error, QString("FULLDEMO Unit can't have any other method"));
}

void TstMethodLists::hostileMethodIdIsRefusedBeforeAnyPath()
{
    const QString outside = FactoryTestEnv::get().root() + "/../x";
    const bool existedBefore = QFileInfo::exists(outside);
    install({QJsonObject{{"name", "EVIL"}}}, {{"EVIL", mapEntry("../x", false, false)}});
    const Listed listed = list(true);
    QVERIFY(!listed.ok);
    QVERIFY2(listed.error.contains("'../x' is not a valid method id"), qPrintable(listed.error));
    FactoryTestEnv::get().onFactoryThread(
        [] { FactoryTestEnv::get().worker()->doMethodModalChange(); });
    QCOMPARE(QFileInfo::exists(outside), existedBefore);
    QVERIFY(!QFileInfo::exists(methodsFolder() + "/../x"));
}

void TstMethodLists::factoryMethodIdsNeedBothArguments()
{
    install({QJsonObject{{"name", "ALLOY"}}}, {{"ALLOY", mapEntry("alloy", true, true)}});
    list(true);
    QStringList ids{"stale"};
    QString error;
    XrfFactoryManager *manager = FactoryTestEnv::get().manager();
    QVERIFY(!manager->getFactoryMethodIds(nullptr, &error));
    QVERIFY(!manager->getFactoryMethodIds(&ids, nullptr));
    QVERIFY(manager->getFactoryMethodIds(&ids, &error));
    QCOMPARE(ids, QStringList({"alloy-ISC-Coll", "alloy-ISC"}));
}

// Only workspaces of listed methods that are not factor-set go; a link is removed, never
// followed; folders the map does not name stay.
void TstMethodLists::selectionChangeRemovesOnlyListedMethodsNotFactorSet()
{
    install({QJsonObject{{"name", "ALLOY"}}, QJsonObject{{"name", "SOIL"}}},
            {{"ALLOY", mapEntry("alloy", false, false)}, {"SOIL", mapEntry("soil", false, false)}});
    makeMethodFolder("alloy", true);
    makeMethodFolder("soil", false);
    makeMethodFolder("customerMethod", false);
    QTemporaryDir outside;
    QFile(outside.filePath("keep.txt")).open(QIODevice::WriteOnly);
    QDir(methodsFolder()).remove("soil");
    QDir(methodsFolder() + "/soil").removeRecursively();
    QVERIFY(QFile::link(outside.path(), methodsFolder() + "/soil"));
    FactoryTestEnv::get().onFactoryThread(
        [] { FactoryTestEnv::get().worker()->doMethodModalChange(); });
    QVERIFY(QFileInfo::exists(methodsFolder() + "/alloy/CalcMethod_alloy.json"));
    QVERIFY(QFileInfo::exists(methodsFolder() + "/customerMethod"));
    QVERIFY(!QFileInfo(methodsFolder() + "/soil").isSymLink());
    QVERIFY(QFileInfo::exists(outside.filePath("keep.txt")));
    makeMethodFolder("soil", false);
    FactoryTestEnv::get().onFactoryThread(
        [] { FactoryTestEnv::get().worker()->doMethodModalChange(); });
    QVERIFY(!QFileInfo::exists(methodsFolder() + "/soil"));
}

void TstMethodLists::selectionChangeDeletesNothingAfterAFailedRebuild()
{
    install({QJsonObject{{"name", "ALLOY"}}, QJsonObject{{"name", "GHOST"}}},
            {{"ALLOY", mapEntry("alloy", false, false)}});
    makeMethodFolder("alloy", false);
    FactoryTestEnv::get().onFactoryThread(
        [] { FactoryTestEnv::get().worker()->doMethodModalChange(); });
    QVERIFY(QFileInfo::exists(methodsFolder() + "/alloy"));
}

QTEST_GUILESS_MAIN(TstMethodLists)
#include "tst_methodlists.moc"
