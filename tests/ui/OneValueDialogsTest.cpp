#include <QTest>
class OneValueDialogsTest : public QObject { Q_OBJECT };
QTEST_MAIN(OneValueDialogsTest)
#include "OneValueDialogsTest.moc"
