"""The platform's own commit message rules, beside gitlint's built-in ones."""

import re

from gitlint.options import IntOption
from gitlint.rules import CommitMessageBody, CommitRule, LineRule
from gitlint.rules import RuleViolation as Violation

SIGNED_OFF_BY = re.compile(r"Signed-off-by: [^<>]+ <[^<>@\s]+@[^<>@\s]+>$")


class BodyMaxLineLengthWithExceptions(LineRule):
    """Body lines fit 72 columns and hold no tab; a line that is one long
    word (an address, a path) or a quoted compiler line may run over."""

    name = "body-max-line-length-with-exceptions"
    id = "UC1"
    target = CommitMessageBody
    options_spec = [IntOption("line-length", 72, "Max line length")]

    def validate(self, line, _commit):
        if "\t" in line:
            return [Violation(self.id, "Line contains hard tab", line)]
        limit = self.options["line-length"].value
        if len(line) > limit and " " in line.strip():
            return [
                Violation(
                    self.id,
                    f"Line exceeds max length ({len(line)}>{limit})",
                    line,
                )
            ]
        return []


class SignedOffAndOneChangeId(CommitRule):
    """A well-formed Signed-off-by trailer, and at most one Change-Id."""

    name = "body-signed-off-one-change-id"
    id = "UC2"

    def validate(self, commit):
        body = commit.message.body
        found = []
        if not any(SIGNED_OFF_BY.match(line) for line in body):
            found.append(
                Violation(
                    self.id, "No well-formed Signed-off-by: Name <email>"
                )
            )
        if sum(line.startswith("Change-Id:") for line in body) > 1:
            found.append(Violation(self.id, "More than one Change-Id"))
        return found
