#include "dialogs/tips.h"

#include "platform/clock.h"

namespace tidewell {

// Each text is one paragraph without line breaks; the panel wraps it.
const std::array<std::string_view, kTipCount> tipTable = {
    // 0
    "Tidewell posts every file of a directory to Usenet unattended: it encodes the files, cuts them into "
    "parts, posts the parts one by one and reconnects by itself when the server drops the line.",
    // 1
    "Are you using Tidewell responsibly?",
    // 2
    "Tidewell is still being developed. New versions fix problems and add features that users ask for, so "
    "keep an eye out for updates.",
    // 3
    "Tidewell is written by a small group of volunteers who post to Usenet themselves and wanted a poster "
    "that can run on its own, even on a server without a screen.",
    // 4
    "Thanks go to the testers who posted thousands of test articles to test groups, to the news server "
    "administrators who answered questions, and to everyone who reported a bug.",
    // 5
    "Tidewell speaks plain NNTP and uuencodes every file, so the articles it posts can be read and decoded "
    "by practically every newsreader there is.",
    // 6
    "Remember, when posting to multiple groups, they must be listed with a comma seperating them and no "
    "spaces at all.  Also remember that news group names are case sensitive.",
    // 7
    "Your newsreader's list of groups can be used as groups.dat: any file with one group name at the start "
    "of each line will do, and the columns after the name are ignored.",
    // 8
    "It is good internet manners to use descriptive and accurate subject lines and to post articles only to "
    "the appropriate groups.",
    // 9
    "Every problem reported makes Tidewell better. Keep the ReportNN.TXT of a run that went wrong, and "
    "LOGGIT.TXT when logging is on: together they show every line exchanged with the server.",
    // 10
    "If Tidewell has trouble resolving your news server's name, contact your ISP Customer Support and ask "
    "them for the IP address of your news server instead.",
    // 11
    "\"We are creating a world where anyone, anywhere may express his or her beliefs, no matter how singular, "
    "without fear of being coerced into silence or conformity.\" - John Perry Barlow, A Declaration of the "
    "Independence of Cyberspace",
    // 12
    "\"The Net interprets censorship as damage and routes around it.\" - John Gilmore",
    // 13
    "\"Free software is a matter of liberty, not price. To understand the concept, you should think of free "
    "as in free speech, not as in free beer.\" - Richard Stallman, The Free Software Definition",
    // 14
    "\"This is for everyone.\" - Tim Berners-Lee, London 2012 Olympic Games opening ceremony",
    // 15
    "\"Never give in, never give in, never, never, never, never - in nothing, great or small, large or petty - "
    "never give in except to convictions of honour and good sense.\" - Winston Churchill, Harrow School, 1941",
    // 16
    "\"Where a calculator on the ENIAC is equipped with 18,000 vacuum tubes and weighs 30 tons, computers in "
    "the future may have only 1,000 vacuum tubes and perhaps weigh only 1 1/2 tons.\" - Popular Mechanics, "
    "March 1949",
    // 17
    "\"There is no reason for any individual to have a computer in his home.\" - Ken Olsen, 1977",
    // 18
    "\"I disapprove of what you say, but I will defend to the death your right to say it.\" - Evelyn Beatrice "
    "Hall, The Friends of Voltaire",
};

std::string_view tipForSecond(int second) {
  constexpr int kCount = static_cast<int>(kTipCount);
  int index = second % kCount;
  if (index < 0) {
    index += kCount;
  }
  return tipTable[static_cast<std::size_t>(index)];
}

std::string_view tipForNow(const Clock& clock) {
  return tipForSecond(clock.localNow().second);
}

}  // namespace tidewell
