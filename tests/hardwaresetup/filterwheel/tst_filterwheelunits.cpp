// The filter scan's helpers on hand-made data: the default table, the largest hole, the wheel
// identification, the blocked positions, the encoder fit and the Gaussian amplitude.

#include "factoryutils.h"
#include "filterwheelsetup.h"

#include <QtTest>

namespace {

QJsonObject position(int encoder, int z, int thickness, int diameter)
{
    return {{"approxEncoder", encoder},
            {"materialAtomicNumber", z},
            {"thicknessInMicrons", thickness},
            {"diameterInMicrons", diameter}};
}

QJsonObject hwParams(const QJsonValue &filterEntry)
{
    return {{"filter", QJsonObject{{"ASSY-T", filterEntry}}}};
}

QJsonObject hwParamsWithPositions(const QJsonArray &positions)
{
    return hwParams(QJsonObject{{"positions", positions}});
}

FilterScanParams fitParams()
{
    FilterScanParams params;
    params.approxEncOffset = 250;
    params.approxEncSlope = 320;
    params.encoderOffsetTolerance = 40;
    params.encoderSlopeTolerance = 10;
    params.linearFitRSquaredMinReq = 0.999;
    return params;
}

// Encoders on a line, plus a last position that is not fitted.
QVector<int> lineEncoders(int offset, int slope, int count)
{
    QVector<int> encoders;
    for (int p = 0; p < count; ++p)
        encoders.append(offset + slope * p);
    return encoders;
}

} // namespace

class TstFilterWheelUnits : public QObject
{
    Q_OBJECT

private slots:
    void defaultTableIsReadInPositionOrder();
    void defaultTableErrors_data();
    void defaultTableErrors();

    void largestHole_data();
    void largestHole();

    void wheelIdentification_data();
    void wheelIdentification();

    void blockedPositionsFromNeighbours_data();
    void blockedPositionsFromNeighbours();

    void encoderFit_data();
    void encoderFit();
    void fitNeedsTwoPoints();
    void fitOfIdenticalEncodersHasNoGoodness();

    void gaussianAmplitude_data();
    void gaussianAmplitude();

    void scanParametersKeepDefaultsAndRejectWrongTypes();
};

void TstFilterWheelUnits::defaultTableIsReadInPositionOrder()
{
    const QJsonArray positions{
        position(250, 0, 0, 2718), position(570, 13, 100, 482),
        QJsonObject{{"materialAtomicNumber", 22}, {"thicknessInMicrons", 25}}};
    QVector<xrf_hal::FilterParams> table(3);
    QString error = "stale";
    QVERIFY(FilterWheelSetup::getDefaultFilterValues(hwParamsWithPositions(positions), "ASSY-T",
                                                     table.data(), &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(FilterWheelSetup::defaultFilterCount(hwParamsWithPositions(positions), "ASSY-T"), 3);
    QCOMPARE(table.at(1).encoder, quint16(570));
    QCOMPARE(table.at(1).materialAtomicNumber, quint16(13));
    QCOMPARE(table.at(1).thicknessInMicrons, quint16(100));
    QCOMPARE(table.at(1).diameterInMicrons, quint16(482));
    // Absent keys: encoder 0, diameter 0.
    QCOMPARE(table.at(2).encoder, quint16(0));
    QCOMPARE(table.at(2).materialAtomicNumber, quint16(22));
    QCOMPARE(table.at(2).thicknessInMicrons, quint16(25));
    QCOMPARE(table.at(2).diameterInMicrons, quint16(0));
}

void TstFilterWheelUnits::defaultTableErrors_data()
{
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QString>("message");
    QTest::newRow("no filter object")
        << QJsonObject{{"fpga", QJsonObject()}} << "Failed to find 'filter' object.";
    QTest::newRow("filter not an object")
        << QJsonObject{{"filter", QJsonArray()}} << "Failed to find 'filter' object.";
    QTest::newRow("unknown wheel") << QJsonObject{{"filter", QJsonObject{{"OTHER", QJsonObject()}}}}
                                   << "Failed to find default filter params for filter ASSY-T.";
    QTest::newRow("no positions")
        << hwParams(QJsonObject{{"positions", QJsonObject()}})
        << "Failed to find 'positions' array in default filter params for filter ASSY-T.";
    QTest::newRow("empty positions")
        << hwParamsWithPositions({}) << "Filter positions array for filter ASSY-T is empty.";
    QTest::newRow("no thickness nor diameter")
        << hwParamsWithPositions({position(250, 0, 0, 2718), position(570, 13, 0, 0)})
        << "Both thickness and diameter for filter ASSY-T, position 1 are set to 0 at the same "
           "time.";
    QTest::newRow("material missing")
        << hwParamsWithPositions({QJsonObject{{"thicknessInMicrons", 25}}})
        << "Invalid Material Atomic number -1 found for filter ASSY-T, position 0.";
    QTest::newRow("material beyond uranium")
        << hwParamsWithPositions({position(250, 93, 10, 2718)})
        << "Invalid Material Atomic number 93 found for filter ASSY-T, position 0.";
    QTest::newRow("encoder beyond 16 bits")
        << hwParamsWithPositions({position(70000, 13, 10, 2718)})
        << "Invalid encoder, thickness or diameter for filter ASSY-T, position 0.";
}

void TstFilterWheelUnits::defaultTableErrors()
{
    QFETCH(QJsonObject, params);
    QFETCH(QString, message);
    QVector<xrf_hal::FilterParams> table(4);
    table[0].encoder = 1234;
    QString error;
    QVERIFY(!FilterWheelSetup::getDefaultFilterValues(params, "ASSY-T", table.data(), &error));
    QCOMPARE(error, message);
    QCOMPARE(table.at(0).encoder, quint16(1234)); // a refused table writes nothing
}

void TstFilterWheelUnits::largestHole_data()
{
    QTest::addColumn<int>("maxPosition");
    QTest::addColumn<bool>("withTable");
    QTest::addColumn<int>("z");
    QTest::addColumn<int>("thickness");
    QTest::addColumn<int>("diameter");
    QTest::addColumn<int>("encoder");
    QTest::newRow("largest open hole") << 4 << true << 0 << 0 << 2718 << 890;
    QTest::newRow("first of equal holes") << 4 << true << 13 << 100 << 2718 << 570;
    QTest::newRow("beyond max position ignored") << 2 << true << 22 << 25 << -1 << -1;
    QTest::newRow("no such filter") << 4 << true << 42 << 100 << -1 << -1;
    QTest::newRow("no table") << 4 << false << 0 << 0 << -2 << -2;
}

void TstFilterWheelUnits::largestHole()
{
    QFETCH(int, maxPosition);
    QFETCH(bool, withTable);
    QFETCH(int, z);
    QFETCH(int, thickness);
    QFETCH(int, diameter);
    QFETCH(int, encoder);
    QVector<xrf_hal::FilterParams> table{{250, 0, 0, 482},
                                         {570, 13, 100, 2718},
                                         {890, 0, 0, 2718},
                                         {1210, 22, 25, 2718},
                                         {1530, 13, 100, 2718}};
    int foundDiameter = 0, foundEncoder = 0;
    FilterWheelSetup::findMaxHoleGivenZThickness(maxPosition, withTable ? table.data() : nullptr, z,
                                                 thickness, &foundDiameter, &foundEncoder);
    QCOMPARE(foundDiameter, diameter);
    QCOMPARE(foundEncoder, encoder);
}

void TstFilterWheelUnits::wheelIdentification_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<double>("f7");
    QTest::addColumn<double>("f5");
    QTest::addColumn<double>("f3");
    QTest::addColumn<QString>("message");
    const QString f7Message = "Filter scan FAILED.\nICR@F7 5000cps w/ 40kV 10uA indicates you have "
                              "an ASSY-20772 when your work order says you have a %1";
    const QString orderMessage = "Filter scan FAILED.\nAt 40kV 10uA, ICR@F3 %1cps and ICR@F5 %2cps "
                                 "indicates you don't have a %3 as indicated by your work order";
    QTest::newRow("20772 by its F7") << "ASSY-20772" << 5000.0 << 0.0 << 0.0 << QString();
    QTest::newRow("20772 F5/F3 ignored") << "ASSY-20772" << 5000.0 << 10.0 << 900.0 << QString();
    QTest::newRow("20772 with a dark F7")
        << "ASSY-20772" << 200.0 << 0.0 << 0.0
        << "Filter scan FAILED.\nICR@F7 200cps w/ 40kV 10uA indicates you don't have an "
           "ASSY-20772 as indicated by your work order";
    QTest::newRow("F7 at the threshold is dark")
        << "ASSY-20853" << 200.0 << 100.0 << 900.0 << QString();
    QTest::newRow("20853 with a rate at F7")
        << "ASSY-20853" << 5000.0 << 100.0 << 900.0 << f7Message.arg("ASSY-20853");
    QTest::newRow("20853 F3 above F5") << "ASSY-20853" << 1.0 << 100.0 << 900.0 << QString();
    QTest::newRow("20854 F3 below F5") << "ASSY-20854" << 1.0 << 900.0 << 100.0 << QString();
    QTest::newRow("HD F3 below F5") << "10-039443-00" << 1.0 << 900.0 << 100.0 << QString();
    QTest::newRow("20853 F3 below F5") << "ASSY-20853" << 1.0 << 900.0 << 100.0
                                       << orderMessage.arg(100).arg(900).arg("ASSY-20853");
    QTest::newRow("20854 F3 above F5") << "ASSY-20854" << 1.0 << 100.0 << 900.0
                                       << orderMessage.arg(900).arg(100).arg("ASSY-20854");
    QTest::newRow("HD F3 above F5") << "10-039443-00" << 1.0 << 100.0 << 900.0
                                    << orderMessage.arg(900).arg(100).arg("10-039443-00");
    for (const QString type : {"ASSY-20853", "ASSY-20854", "10-039443-00"})
        QTest::newRow(qPrintable("equal F3 and F5 " + type))
            << type << 1.0 << 500.0 << 500.0 << QString();
}

void TstFilterWheelUnits::wheelIdentification()
{
    QFETCH(QString, type);
    QFETCH(double, f7);
    QFETCH(double, f5);
    QFETCH(double, f3);
    QFETCH(QString, message);
    const WheelCheckRates rates{type, 40, 10, f7, f5, f3};
    QCOMPARE(FilterWheelSetup::wheelIdentityError(rates, 200), message);
}

void TstFilterWheelUnits::blockedPositionsFromNeighbours_data()
{
    QTest::addColumn<QVector<int>>("encoders");
    QTest::addColumn<QVector<int>>("atomicNumbers");
    QTest::addColumn<QVector<int>>("expected");
    QTest::newRow("between 1000 and 1400")
        << QVector<int>{600, 1000, 0, 1400} << QVector<int>{0, 13, 74, 22}
        << QVector<int>{600, 1000, 1200, 1400};
    QTest::newRow("odd sum truncates") << QVector<int>{1000, 0, 1401} << QVector<int>{13, 74, 13}
                                       << QVector<int>{1000, 1200, 1401};
    QTest::newRow("first position extrapolated")
        << QVector<int>{0, 570, 890, 1210} << QVector<int>{74, 0, 13, 22}
        << QVector<int>{250, 570, 890, 1210};
    QTest::newRow("last position extrapolated")
        << QVector<int>{250, 570, 890, 0} << QVector<int>{0, 13, 22, 74}
        << QVector<int>{250, 570, 890, 1210};
    QTest::newRow("first position clamped to the minimum")
        << QVector<int>{0, 150, 500} << QVector<int>{74, 0, 13} << QVector<int>{100, 150, 500};
    QTest::newRow("last position clamped to the maximum")
        << QVector<int>{2900, 3400, 0} << QVector<int>{0, 13, 74} << QVector<int>{2900, 3400, 3700};
    QTest::newRow("other materials untouched")
        << QVector<int>{250, 571, 890} << QVector<int>{0, 13, 22} << QVector<int>{250, 571, 890};
    QTest::newRow("too few positions to interpolate")
        << QVector<int>{250, 0} << QVector<int>{0, 74} << QVector<int>{250, 0};
}

void TstFilterWheelUnits::blockedPositionsFromNeighbours()
{
    QFETCH(QVector<int>, encoders);
    QFETCH(QVector<int>, atomicNumbers);
    QFETCH(QVector<int>, expected);
    FilterWheelSetup::interpolateBlockedPositions(&encoders, atomicNumbers, 100, 3700);
    QCOMPARE(encoders, expected);
}

void TstFilterWheelUnits::encoderFit_data()
{
    QTest::addColumn<QVector<int>>("encoders");
    QTest::addColumn<QString>("message");
    QVector<int> offsetAtTolerance = lineEncoders(290, 320, 10);
    QVector<int> offsetBeyond = lineEncoders(291, 320, 10);
    QVector<int> slopeAtTolerance = lineEncoders(250, 330, 10);
    QVector<int> slopeBeyond = lineEncoders(250, 331, 10);
    QVector<int> lastIgnored = lineEncoders(250, 320, 10);
    lastIgnored.last() = 5000;
    QVector<int> bent = lineEncoders(250, 320, 10);
    bent[4] += 120;
    bent[5] += 160;
    QTest::newRow("nominal") << lineEncoders(250, 320, 10) << QString();
    QTest::newRow("offset exactly at the tolerance") << offsetAtTolerance << QString();
    QTest::newRow("offset beyond the tolerance")
        << offsetBeyond
        << "Filter scan FAILED.\nFitted encoder offset 291 more than 40 ticks away from "
           "expected 250.";
    QTest::newRow("slope exactly at the tolerance") << slopeAtTolerance << QString();
    QTest::newRow("slope beyond the tolerance")
        << slopeBeyond
        << "Filter scan FAILED.\nFitted encoder slope 331 more than 10 ticks away from "
           "expected 320.";
    QTest::newRow("last position is not fitted") << lastIgnored << QString();
    QTest::newRow("bent line") << bent << "R-squared";
}

void TstFilterWheelUnits::encoderFit()
{
    QFETCH(QVector<int>, encoders);
    QFETCH(QString, message);
    double offset = 0, slope = 0, rSquared = 0;
    QString error;
    QVERIFY(FilterWheelSetup::fitEncoders(encoders, &offset, &slope, &rSquared, &error));
    const bool passed =
        FilterWheelSetup::checkEncoderFit(fitParams(), offset, slope, rSquared, &error);
    QCOMPARE(passed, message.isEmpty());
    if (message == "R-squared") {
        QVERIFY2(error.startsWith("Filter scan FAILED.\nLinear fit R-squared value 0.99"),
                 qPrintable(error));
        QVERIFY(error.endsWith(" less than minimum required 0.999."));
    } else if (!passed) {
        QCOMPARE(error, message);
    }
}

void TstFilterWheelUnits::fitNeedsTwoPoints()
{
    double offset = 0, slope = 0, rSquared = 0;
    QString error;
    // Two positions leave one fitted point.
    QVERIFY(!FilterWheelSetup::fitEncoders({250, 570}, &offset, &slope, &rSquared, &error));
    QCOMPARE(error,
             "Filter scan FAILED.\nLinear fitting of filter encoders vs positions has error.");
    QVERIFY(!FilterWheelSetup::fitEncoders({}, &offset, &slope, &rSquared, &error));
}

void TstFilterWheelUnits::fitOfIdenticalEncodersHasNoGoodness()
{
    double offset = 0, slope = 0, rSquared = 0;
    QString error;
    QVERIFY(
        !FilterWheelSetup::fitEncoders({500, 500, 500, 900}, &offset, &slope, &rSquared, &error));
    QCOMPARE(error,
             "Filter scan FAILED.\nGoodness of fit computation of fitting filter encoders "
             "vs positions has error.");
}

void TstFilterWheelUnits::gaussianAmplitude_data()
{
    QTest::addColumn<double>("peak");
    QTest::addColumn<QList<double>>("data");
    QTest::addColumn<double>("amplitude");
    // A Gaussian of FWHM 2 bins sampled at the bin centres is recovered exactly.
    auto gaussian = [](double centre, double height) {
        QList<double> data;
        for (int i = 0; i < 8; ++i) {
            const double d = i - (centre - 0.5);
            data.append(height * std::exp(-d * d / (2 * 2.0 / 2.355)));
        }
        return data;
    };
    QTest::newRow("centred") << 3.5 << gaussian(3.5, 1000.0) << 1000.0;
    QTest::newRow("off-centre guess") << 4.0 << gaussian(4.0, 250.0) << 250.0;
    QTest::newRow("first bin counts") << 0.5 << gaussian(0.5, 800.0) << -1.0;
    QTest::newRow("before the data") << -0.5 << gaussian(3.5, 1000.0) << 0.0;
    QTest::newRow("after the data") << 8.0 << gaussian(3.5, 1000.0) << 0.0;
    QTest::newRow("empty") << 0.5 << QList<double>() << 0.0;
}

void TstFilterWheelUnits::gaussianAmplitude()
{
    QFETCH(double, peak);
    QFETCH(QList<double>, data);
    QFETCH(double, amplitude);
    double result = -99;
    FactoryUtils::calculateGaussianAmplitude(peak, 2.0, data, &result);
    if (amplitude >= 0) {
        QVERIFY2(std::abs(result - amplitude) < 1e-9 * std::max(1.0, amplitude),
                 qPrintable(QString::number(result)));
        return;
    }
    // At the first bin the missing bin before the data repeats nothing (0): the amplitude comes
    // from bins 0 and 1, so it must be far above what bin 1 alone would give.
    double fromBinOneOnly = 0;
    QList<double> withoutBinZero = data;
    withoutBinZero[0] = 0;
    FactoryUtils::calculateGaussianAmplitude(peak, 2.0, withoutBinZero, &fromBinOneOnly);
    QVERIFY(result > 2 * fromBinOneOnly);
    QVERIFY(result < 800.0);
}

void TstFilterWheelUnits::scanParametersKeepDefaultsAndRejectWrongTypes()
{
    FilterScanParams params;
    QVERIFY(params.fromJsonObject({{"encoderStep", 40}, {"range2Examine", 0.8}}));
    QCOMPARE(params.encoderStep, 40);
    QCOMPARE(params.range2Examine, 0.8);
    QCOMPARE(params.dwellTimeInms, 500);
    QString error;
    QVERIFY(!params.fromJsonObject({{"dwellTimeInms", "100"}}, &error));
    QVERIFY(error.contains("dwellTimeInms"));
    QCOMPARE(params.dwellTimeInms, 500);

    FilterMoveExerciseParams exercise;
    QVERIFY(exercise.fromJsonObject({{"filterMovementSequence", QJsonArray{0, 9}}}));
    QCOMPARE(exercise.filterMovementSequence.size(), 2);
    QCOMPARE(exercise.minSucceedCount, 100);
    QCOMPARE(exercise.maxCount, 2000);
    QCOMPARE(exercise.movementTimeoutInMs, 500);
    QCOMPARE(exercise.pollIntervalInMs, 20);
    QCOMPARE(exercise.waitTimeBetweenMoveInMs, 0);
}

QTEST_GUILESS_MAIN(TstFilterWheelUnits)
#include "tst_filterwheelunits.moc"
