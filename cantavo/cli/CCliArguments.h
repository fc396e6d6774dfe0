#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The command line of cantavo-cli, read completely before anything starts: a mistake is a
// one-line error and status 2, and nothing has been touched.
//
//   cantavo-cli [--virtual-piano] [--yes | --no] COMMAND [WORDS] [OPTIONS]
class CCliArguments {
public:
    enum class Answer { Ask, Yes, No };

    // Reads argv; on a mistake Error() says what is wrong.
    static CCliArguments Parse(const QStringList& arguments);

    bool Ok() const { return m_error.isEmpty(); }
    QString Error() const { return m_error; }
    // --help anywhere: the help of the command (or of the program).
    bool Help() const { return m_help; }

    QString Command() const { return m_command; }
    // The words after the command that are not options.
    QStringList Words() const { return m_words; }
    QString Word(int index) const { return index < m_words.size() ? m_words[index] : QString(); }
    // An option's value, if it was given (--tempo 90 or --tempo=90).
    std::optional<QString> Option(const QString& name) const;
    bool VirtualPiano() const { return m_virtualPiano; }
    Answer Answers() const { return m_answer; }

    // The help texts.
    static QString ProgramHelp();
    static QString CommandHelp(const QString& command);
    static QStringList Commands();

private:
    void Fail(const QString& text);

    QString m_error;
    bool m_help = false;
    bool m_virtualPiano = false;
    Answer m_answer = Answer::Ask;
    QString m_command;
    QStringList m_words;
    QStringList m_optionNames;
    QStringList m_optionValues;
};
