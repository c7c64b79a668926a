#pragma once
// Regular expressions over PCRE2 (UTF-8; input that is not valid UTF-8 is searched byte by byte): searching
// (not anchored unless the pattern says so), case-sensitive, "." matches line breaks, numbered groups. A pattern that
// does not compile throws std::runtime_error with PCRE2's message. Compiled patterns are kept for the object's
// lifetime. One object per thread.

#include <memory>
#include <string>
#include <vector>

class TBrendleRegExpr
{
public:
  TBrendleRegExpr();
  ~TBrendleRegExpr();
  TBrendleRegExpr(const TBrendleRegExpr&) = delete;
  TBrendleRegExpr& operator=(const TBrendleRegExpr&) = delete;

  // Searches the current input text (set by the two-argument form or by SetInput) with iPattern.
  bool Matches(const std::string& iPattern);
  // Sets the expression to iPattern and searches iString.
  bool Matches(const std::string& iPattern, const std::string& iString);
  void SetInput(const std::string& iString);

  // Group n of the last match (0 = the whole match); empty when the group did not take part or no match.
  std::string Group(int iIndex) const;
  // Number of capturing groups of the last successful match's pattern; 0 after a failed match.
  int GroupCount() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> fImpl;
};
