#include "Paths.h"
#include "SettingsStore.h"

#include <QCoreApplication>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace brinmoor;

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // QSettings reads the configuration folder once per process.
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void livesInTheKelmarshFileUnderTheBrinmoorSection()
    {
        SettingsStore store;
        QCOMPARE(store.fileName(), m_home.filePath(QStringLiteral("Kelmarsh/Brinmoor.conf")));
        QCOMPARE(store.read(QStringLiteral("Extension"), QStringLiteral("txt")), QStringLiteral("txt"));
        QVERIFY(store.write(QStringLiteral("Exclude Blank"), QStringLiteral("1")).isEmpty());
        QFile file(store.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.contains("[Brinmoor]"), text.constData());
        QVERIFY2(text.contains("Exclude%20Blank=1"), text.constData());
        QVERIFY(store.openProblem().isEmpty());
    }

    void valuesComeBackExactlyAsWritten_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("commas and empty pieces") << QStringLiteral("storm,,1,2");
        QTest::newRow("truth word") << QStringLiteral("True");
        QTest::newRow("at sign") << QStringLiteral("@ByteArray(x)");
        QTest::newRow("blanks around") << QStringLiteral("  word ");
        QTest::newRow("quotes and backslashes") << QStringLiteral("a \"b\" c:\\d\\");
        QTest::newRow("ini syntax") << QStringLiteral("=;#[x]");
        QTest::newRow("line breaks") << QStringLiteral("a\r\nb\rc");
        QTest::newRow("non-latin") << QStringLiteral("\u00e9t\u00e9 \u4e2d");
        QTest::newRow("empty") << QString();
    }

    void valuesComeBackExactlyAsWritten()
    {
        QFETCH(QString, value);
        {
            SettingsStore store(fileName());
            QVERIFY(store.write(QStringLiteral("Exclude Words"), value).isEmpty());
        }
        SettingsStore reopened(fileName());
        QCOMPARE(reopened.read(QStringLiteral("Exclude Words"), QStringLiteral("missing")), value);
    }

    void handEditedListIsReadAsItsText()
    {
        writeFile("[Brinmoor]\nExclude%20Words=a, b,c\n");
        SettingsStore store(fileName());
        QCOMPARE(store.read(QStringLiteral("Exclude Words"), {}), QStringLiteral("a, b,c"));
    }

    void damagedFileGivesDefaultsOneProblemAndIsKeptAside()
    {
        writeFile("[Brinmoor\nOption1=False\n");
        SettingsStore store(fileName());
        QVERIFY(!store.openProblem().isEmpty());
        QVERIFY(store.openProblem().contains(QStringLiteral("damaged")));
        QCOMPARE(store.read(QStringLiteral("Option1"), QStringLiteral("1")), QStringLiteral("1"));
        QVERIFY(QFile::exists(fileName() + QStringLiteral(".damaged")));
        // Changes are stored again in a fresh file.
        QVERIFY(store.write(QStringLiteral("Option1"), QStringLiteral("True")).isEmpty());
        SettingsStore reopened(fileName());
        QVERIFY(reopened.openProblem().isEmpty());
        QCOMPARE(reopened.read(QStringLiteral("Option1"), {}), QStringLiteral("True"));
    }

    void everyDamagedFileIsKeptUnderANameOfItsOwn_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("cut inside a character") << QByteArray("[Brinmoor]\nExclude%20Words=caf\xC3");
        QTest::newRow("stray continuation byte") << QByteArray("[Brinmoor]\nOption1=\x80True\n");
    }

    void everyDamagedFileIsKeptUnderANameOfItsOwn()
    {
        QFETCH(QByteArray, content);
        const QStringList asides{QStringLiteral(".damaged"), QStringLiteral(".damaged.1"), QStringLiteral(".damaged.2")};
        for (qsizetype n = 0; n < asides.size(); ++n) {
            // Each start finds the file damaged again (a little differently).
            writeFile(content + QByteArray(int(n), '\n'));
            SettingsStore store(fileName());
            QVERIFY2(store.openProblem().contains(QStringLiteral("kept as ") + fileName() + asides.at(n)),
                     qPrintable(store.openProblem()));
            QCOMPARE(store.read(QStringLiteral("Exclude Words"), QStringLiteral("none")), QStringLiteral("none"));
        }
        for (qsizetype n = 0; n < asides.size(); ++n) {
            QFile aside(fileName() + asides.at(n));
            QVERIFY(aside.open(QIODevice::ReadOnly));
            QCOMPARE(aside.readAll(), content + QByteArray(int(n), '\n'));
        }
    }

    void formCheckTellsDamageFromOddButValidText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("non-ASCII value") << QByteArray("[Brinmoor]\nExclude%20Words=\xc3\xa9t\xc3\xa9\n") << false;
        QTest::newRow("non-ASCII at both ends") << QByteArray("[Brinmoor]\n\xc3\xa9=\xc3\xa9") << false;
        QTest::newRow("continued line") << QByteArray("[Brinmoor]\nA=x\\\nno equals here\n") << false;
        QTest::newRow("comment and blank lines") << QByteArray("; c\n\n \t\n# d\n[Brinmoor]\n") << false;
        QTest::newRow("cut inside a character") << QByteArray("[Brinmoor]\nExclude%20Words=\xc3") << true;
        QTest::newRow("overlong form") << QByteArray("[Brinmoor]\nA=\xc0\xaf\n") << true;
        QTest::newRow("encoded surrogate") << QByteArray("[Brinmoor]\nA=\xed\xa0\x80\n") << true;
        QTest::newRow("stray continuation byte") << QByteArray("[Brinmoor]\nA=\x80\n") << true;
        QTest::newRow("line without equals") << QByteArray("[Brinmoor]\n\xc3\xa9t\xc3\xa9\n") << true;
        QTest::newRow("NUL byte") << QByteArray("[Brinmoor]\nA=1\0\n", 16) << true;
    }

    void formCheckTellsDamageFromOddButValidText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, damaged);
        writeFile(bytes);
        SettingsStore store(fileName());
        QCOMPARE(store.openProblem().contains(QStringLiteral("damaged")), damaged);
    }

    void unreadableFileGivesDefaultsAndIsNeverWritten()
    {
        // A folder where the file should be cannot be read by anyone, root
        // included.
        QVERIFY(QDir().mkpath(fileName()));
        SettingsStore store(fileName());
        QVERIFY(store.openProblem().contains(QStringLiteral("cannot be read")));
        QCOMPARE(store.read(QStringLiteral("Option2"), QStringLiteral("0")), QStringLiteral("0"));
        QVERIFY(store.write(QStringLiteral("Option2"), QStringLiteral("True")).isEmpty());
        QCOMPARE(store.read(QStringLiteral("Option2"), QStringLiteral("0")), QStringLiteral("True"));
        QVERIFY(QFileInfo(store.fileName()).isDir());
    }

    void numbersFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("zero") << QStringLiteral("0") << 0.0;
        QTest::newRow("one") << QStringLiteral("1") << 1.0;
        QTest::newRow("two") << QStringLiteral("2") << 2.0;
        QTest::newRow("minus one") << QStringLiteral("-1") << -1.0;
        QTest::newRow("leading blanks") << QStringLiteral("   7") << 7.0;
        QTest::newRow("trailing text") << QStringLiteral("3 apples") << 3.0;
        QTest::newRow("fraction") << QStringLiteral("0.5") << 0.5;
        QTest::newRow("word") << QStringLiteral("True") << 0.0;
        QTest::newRow("sign only") << QStringLiteral("-") << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
    }

    void numbersFromText()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        QCOMPARE(numberFromText(text), number);
    }

    void truthFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("truth");   // 1 true, 0 false, -1 none
        QTest::newRow("True") << QStringLiteral("True") << 1;
        QTest::newRow("false lower") << QStringLiteral("false") << 0;
        QTest::newRow("TRUE upper") << QStringLiteral("TRUE") << 1;
        QTest::newRow("one") << QStringLiteral("1") << 1;
        QTest::newRow("zero") << QStringLiteral("0") << 0;
        QTest::newRow("minus one") << QStringLiteral("-1") << 1;
        QTest::newRow("blanks around number") << QStringLiteral(" 0 ") << 0;
        QTest::newRow("yes") << QStringLiteral("yes") << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("number and text") << QStringLiteral("1 x") << -1;
    }

    void truthFromText()
    {
        QFETCH(QString, text);
        QFETCH(int, truth);
        const std::optional<bool> value = brinmoor::truthFromText(text);
        QCOMPARE(value.has_value() ? int(*value) : -1, truth);
    }

    void filesBesideTheProgramInTheBuildTree()
    {
        QCOMPARE(programFolder(), QDir::toNativeSeparators(QCoreApplication::applicationDirPath()));
        QCOMPARE(besideProgram(QStringLiteral("x/o.cjs")),
                 QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/x/o.cjs")));
    }

private:
    QString fileName() const { return m_dir->filePath(QStringLiteral("Brinmoor.conf")); }

    void writeFile(const QByteArray &content)
    {
        QFile file(fileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
