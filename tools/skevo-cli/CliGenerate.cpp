// skevo-cli generate SEGMENT [--need DIGITS] [--avoid DIGITS]: the number generator's
// numbers, one a line, ascending. The options name the ticked digit boxes of the dialog's
// two filters; an empty value turns that filter off.
#include "CliCommands.h"

#include "send/NumberGenerator.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {
// The digits of value, each among allowed; false for any other character.
bool TickedDigits(const QString &value, QChar first, QChar second, bool *hasFirst, bool *hasSecond)
{
    *hasFirst = false;
    *hasSecond = false;
    for (QChar c : value) {
        if (c == first)
            *hasFirst = true;
        else if (c == second)
            *hasSecond = true;
        else
            return false;
    }
    return true;
}
} // namespace

int RunGenerate(const QStringList &args)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addPositionalArgument(QStringLiteral("SEGMENT"), QStringLiteral("The number without its last four digits."));
    p.addOption({QStringLiteral("need"), QStringLiteral("Digits among 6 and 8 every ending must hold (default 68)."),
                 QStringLiteral("DIGITS"), QStringLiteral("68")});
    p.addOption({QStringLiteral("avoid"), QStringLiteral("Digits among 4 and 7 no ending may hold (default 47)."),
                 QStringLiteral("DIGITS"), QStringLiteral("47")});
    if (!p.parse(QStringList{QStringLiteral("skevo-cli generate")} + args))
        return CliFail(p.errorText());
    if (p.positionalArguments().size() != 1)
        return CliFail(QStringLiteral("usage: skevo-cli generate SEGMENT [--need DIGITS] [--avoid DIGITS]"));

    NumberGenerator generator;
    const QString need = p.value(QStringLiteral("need"));
    const QString avoid = p.value(QStringLiteral("avoid"));
    if (!TickedDigits(need, u'6', u'8', &generator.m_bNeed6, &generator.m_bNeed8))
        return CliFail(QStringLiteral("--need takes digits among 6 and 8"));
    if (!TickedDigits(avoid, u'4', u'7', &generator.m_bAvoid4, &generator.m_bAvoid7))
        return CliFail(QStringLiteral("--avoid takes digits among 4 and 7"));
    generator.m_bKeep = !need.isEmpty();
    generator.m_bDrop = !avoid.isEmpty();
    generator.m_strSegment = p.positionalArguments().constFirst();
    const QString refusal = generator.validate();
    if (!refusal.isEmpty())
        return CliFail(refusal);

    const QByteArray out = generator.Generate().join(QLatin1Char('\n')).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    if (!out.isEmpty())
        std::fputc('\n', stdout);
    return 0; // main() flushes, and fails when standard output could not take it all
}
