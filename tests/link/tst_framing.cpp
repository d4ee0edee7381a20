#include <QTest>
#include <array>
#include <stdexcept>

#include "link/framing.h"

using namespace kestrel;

class TestFraming : public QObject {
  Q_OBJECT

 private slots:
  void nibbleDigitsGivesLowBytesMostSignificantFirst_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("byteCount");
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("zero, two bytes") << 0 << 2 << QByteArray("0000");
    QTest::newRow("1800") << 1800 << 2 << QByteArray("0708");
    QTest::newRow("1794") << 1794 << 2 << QByteArray("0702");
    QTest::newRow("65535") << 65535 << 2 << QByteArray("????");
    QTest::newRow("65536 drops the third byte") << 65536 << 2 << QByteArray("0000");
    QTest::newRow("255, one byte") << 255 << 1 << QByteArray("??");
    QTest::newRow("0xA5") << 0xA5 << 1 << QByteArray(":5");
    QTest::newRow("300 keeps its low byte") << 300 << 1 << QByteArray("2<");
    QTest::newRow("0xBCDE uses ; < = >") << 0xBCDE << 2 << QByteArray(";<=>");
    QTest::newRow("count 0") << 1234 << 0 << QByteArray();
    QTest::newRow("negative count") << 1234 << -3 << QByteArray();
    QTest::newRow("ten bytes") << 0x12345678 << 10 << QByteArray("00000000000012345678");
    QTest::newRow("negative value keeps its low bits") << -2 << 1 << QByteArray("?>");
    QTest::newRow("negative value fills wide fields") << -1 << 5 << QByteArray("??????????");
  }
  void nibbleDigitsGivesLowBytesMostSignificantFirst() {
    QFETCH(int, value);
    QFETCH(int, byteCount);
    QFETCH(QByteArray, digits);
    QCOMPARE(NibbleDigits(value, static_cast<int16_t>(byteCount)), digits);
  }

  void nibbleDigitsRefusesFieldsWiderThanTenBytes() {
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, NibbleDigits(1, 11));
  }

  void appendChecksumFramesTheWorkedExamples_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("empty frame") << QByteArray() << QByteArray("\x30\x30\x0D");
    QTest::newRow("block write") << QByteArray(";BB0000020001")
                                 << QByteArray("\x3B\x42\x42\x30\x30\x30\x30\x30\x32\x30\x30\x30"
                                               "\x31\x3A\x3F\x0D");
    QTest::newRow("logo info") << QByteArray(";BI07080000")
                               << QByteArray("\x3B\x42\x49\x30\x37\x30\x38\x30\x30\x30\x30\x36"
                                             "\x30\x0D");
    // Length 3 + codes 253 = 256: the low byte is zero.
    QTest::newRow("sum multiple of 256") << QByteArray("\x55\x55\x53") << QByteArray("UUS00\r");
  }
  void appendChecksumFramesTheWorkedExamples() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, frame);
    QByteArray command = text;
    QCOMPARE(AppendChecksum(command), frame);
    QCOMPARE(command, frame);
  }

  void appendChecksumCountsCodesAboveAsciiAsBytes() {
    // One byte 0xFF: 1 + 255 = 256.
    QByteArray command("\xFF");
    QCOMPARE(AppendChecksum(command), QByteArray("\xFF" "00\r"));
  }

  void appendChecksumThrowsPast32767AndKeepsTheText() {
    // 128 bytes of 0xFF: 128 + 128 * 255 = 32768.
    QByteArray tooLong(128, '\xFF');
    const QByteArray before = tooLong;
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, AppendChecksum(tooLong));
    QCOMPARE(tooLong, before);

    // Length alone counts too.
    QByteArray manyNuls(32768, '\0');
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, AppendChecksum(manyNuls));

    // 127 + 127 * 255 + 254 + 1 = 32767 exactly still frames: 32767 = 0x7FFF.
    QByteArray atLimit(127, '\xFF');
    atLimit.append('\xFE');
    QVERIFY(AppendChecksum(atLimit).endsWith("??\r"));
  }

  void blockWriteTextLaysOutAddressCountAndBytes() {
    const std::array<uint8_t, 2> header{0x00, 0x01};
    QCOMPARE(BlockWriteText(0, header), QByteArray(";BB0000020001"));

    const std::array<uint8_t, 14> bytes{0xAF, 0x00, 0xFF, 0x12, 0x34, 0x56, 0x78,
                                        0x9A, 0xBC, 0xDE, 0xF0, 0x01, 0x80, 0x7F};
    QCOMPARE(BlockWriteText(0x0702, bytes),
             QByteArray(";BB07020>:?00??123456789:;<=>?001807?"));
  }

  void blockWriteTextRefusesMoreThan255Bytes() {
    std::array<uint8_t, 256> bytes{};
    QVERIFY_THROWS_EXCEPTION(std::length_error, BlockWriteText(0, bytes));
    QCOMPARE(BlockWriteText(0, std::span(bytes).first(255)).mid(7, 2), QByteArray("??"));
  }

  void logoInfoTextCarriesChecksumAndSecondValue() {
    QCOMPARE(LogoInfoText(1800, 0), QByteArray(";BI07080000"));
    QCOMPARE(LogoInfoText(0x1ABCD, 0x00FF), QByteArray(";BI:;<=00??"));
  }

  void replyJudgement_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("blockWriteOk");
    QTest::addColumn<bool>("logoInfoOk");
    QTest::newRow("ACK CR") << QByteArray("\x06\r") << true << true;
    QTest::newRow("ACK and more, CR") << QByteArray("\x06xy\r") << true << true;
    QTest::newRow("N CR") << QByteArray("N\r") << false << true;
    QTest::newRow("bare CR") << QByteArray("\r") << false << true;
    QTest::newRow("NAK CR") << QByteArray("\x15\r") << false << false;
  }
  void replyJudgement() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, blockWriteOk);
    QFETCH(bool, logoInfoOk);
    QCOMPARE(ReplyAccepted(ReplyRule::AckFirst, reply), blockWriteOk);
    QCOMPARE(ReplyAccepted(ReplyRule::NoRefusal, reply), logoInfoOk);
  }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
