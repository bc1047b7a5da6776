// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/config_text.h"

#include <QTest>
#include <iconv.h>
#include <string>

using namespace pingvard;

namespace {

// glibc's own table for the code page, as the reference.
QString IconvWindows1250(unsigned char byte) {
    iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1250");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return {};
    }
    char in = static_cast<char>(byte);
    char16_t out[2] = {};
    char* inPtr = &in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    return ok ? QString(QChar(out[0])) : QString();
}

} // namespace

class ConfigTextTest : public QObject {
    Q_OBJECT

private slots:
    void EveryWindows1250ByteMatchesTheSystemTable() {
        if (IconvWindows1250('A').isEmpty()) {
            QSKIP("the C library has no WINDOWS-1250 converter");
        }
        for (int byte = 0; byte < 256; ++byte) {
            const QString expected = IconvWindows1250(static_cast<unsigned char>(byte));
            const char16_t mapped = Windows1250ToUnicode(static_cast<unsigned char>(byte));
            if (expected.isEmpty()) { // undefined in the code page
                QCOMPARE(int(mapped), byte);
            } else {
                QCOMPARE(QString(QChar(mapped)), expected);
            }
        }
    }

    void DisplayText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("AP <main>") << QString("AP <main>");
        QTest::newRow("UTF-8") << QByteArray("Brno n\xc3\xa1m\xc4\x9bst\xc3\xad")
                               << QString::fromUtf8("Brno náměstí");
        QTest::newRow("windows-1250")
            << QByteArray("Brno n\xe1m\xecst\xed") << QString::fromUtf8("Brno náměstí");
        QTest::newRow("UTF-8 cut inside a character")
            << QByteArray("n\xc3") << QString::fromUtf8("nĂ");
        QTest::newRow("undefined byte") << QByteArray("x\x81y") << QString::fromUtf8("x\u0081y");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void DisplayText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(pingvard::DisplayText(bytes.toStdString()), shown);
    }

    void UnchangedTextKeepsItsBytesAndEditedTextIsUtf8_data() {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("stored");
        const QByteArray cp1250("Brno n\xe1m\xecst\xed");
        QTest::newRow("windows-1250 unchanged")
            << cp1250 << QString::fromUtf8("Brno náměstí") << cp1250;
        QTest::newRow("windows-1250 edited") << cp1250 << QString::fromUtf8("Brno náměstí 2")
                                             << QByteArray("Brno n\xc3\xa1m\xc4\x9bst\xc3\xad 2");
        QTest::newRow("UTF-8 unchanged")
            << QByteArray("\xc5\xbd") << QString::fromUtf8("Ž") << QByteArray("\xc5\xbd");
        QTest::newRow("undefined byte unchanged")
            << QByteArray("x\x81y") << QString::fromUtf8("x\u0081y") << QByteArray("x\x81y");
    }
    void UnchangedTextKeepsItsBytesAndEditedTextIsUtf8() {
        QFETCH(QByteArray, original);
        QFETCH(QString, shown);
        QFETCH(QByteArray, stored);
        QCOMPARE(QByteArray::fromStdString(ConfigBytes(shown, original.toStdString())), stored);
    }
};

QTEST_GUILESS_MAIN(ConfigTextTest)
#include "config_text_test.moc"
