// Every text the programs can show has its translation: the sources' texts, as lupdate finds
// them now, against the committed translations.
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

struct Entry {
  QString translation;
  QString type;  // "unfinished", "vanished", ... ; empty when done
};

// context, source and comment, each message once.
QMap<QString, Entry> ReadTs(const QString& path) {
  QMap<QString, Entry> entries;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return entries;
  QXmlStreamReader xml(&file);
  QString context, source, comment;
  Entry entry;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) {
      if (xml.isEndElement() && xml.name() == QLatin1String("message"))
        entries.insert(context + QLatin1Char('\x1f') + source + QLatin1Char('\x1f') + comment,
                       entry);
      continue;
    }
    if (xml.name() == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (xml.name() == QLatin1String("message")) {
      source.clear();
      comment.clear();
      entry = {};
    } else if (xml.name() == QLatin1String("source")) {
      source = xml.readElementText();
    } else if (xml.name() == QLatin1String("comment")) {
      comment = xml.readElementText();
    } else if (xml.name() == QLatin1String("translation")) {
      entry.type = xml.attributes().value(QLatin1String("type")).toString();
      entry.translation = xml.readElementText();
    }
  }
  return entries;
}

QStringList Placeholders(const QString& text) {
  static const QRegularExpression marker(QStringLiteral("%\\d"));
  QStringList found;
  for (const QRegularExpressionMatch& m : marker.globalMatch(text)) found << m.captured();
  found.sort();
  return found;
}

}  // namespace

class TranslationsTest : public QObject {
  Q_OBJECT

 private slots:
  void everyTextHasItsTranslation_data() {
    QTest::addColumn<QString>("ts");
    const QDir translations(QStringLiteral(KESTREL_SOURCE_DIR "/translations"));
    for (const QString& name : translations.entryList({QStringLiteral("kestrel_*.ts")}))
      QTest::newRow(qPrintable(name)) << translations.filePath(name);
  }
  void everyTextHasItsTranslation() {
    QFETCH(QString, ts);
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.ts"));
    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(KESTREL_SOURCE_DIR));
    lupdate.start(QStringLiteral(KESTREL_LUPDATE),
                  {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                   QStringLiteral("src"), QStringLiteral("tools"), QStringLiteral("-ts"), fresh});
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);

    const QMap<QString, Entry> sources = ReadTs(fresh);
    const QMap<QString, Entry> committed = ReadTs(ts);
    QVERIFY(sources.size() > 100);
    QStringList missing;
    for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
      const QString source = it.key().section(QLatin1Char('\x1f'), 1, 1);
      const auto done = committed.constFind(it.key());
      if (done == committed.cend() || !done->type.isEmpty() || done->translation.isEmpty() ||
          Placeholders(done->translation) != Placeholders(source))
        missing << it.key()
                       .section(QLatin1Char('\x1f'), 0, 1)
                       .replace(QLatin1Char('\x1f'), QStringLiteral(": "));
    }
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("untranslated (run lupdate, then translate):\n") +
                        missing.join(QLatin1Char('\n'))));
  }
};

QTEST_GUILESS_MAIN(TranslationsTest)
#include "tst_translations.moc"
