#pragma once
// One endpoint of the web server as a row of the routing table: the methods it answers, its path pattern, the
// level it needs and its handler. The dispatcher tries the rows in order; the first that answers ends the search.

#include "web/WebAccess.h"
#include "web/WebRequest.h"
#include "web/WebResponse.h"

#include <functional>

class TBrendleRegExpr;

enum TRouteMethods
{
  rmGet = 1,
  rmPost = 2,
  rmGetOrPost = rmGet | rmPost
};

// What a request below a row's level gets: the row is passed over as if its path did not match, or 403.
enum TBelowLevel
{
  blPassOver,
  blForbidden
};

// What a handler is called with: the request, the groups of the row's pattern (1 = the first) and the level.
struct TRouteCall
{
  const TWebRequest& Request;
  const TBrendleRegExpr& Match;
  TAccessLevel Level;
};

struct TWebRoute
{
  TRouteMethods Methods;
  // Searched in the path (see TBrendleRegExpr); a pattern without "$" accepts any further characters.
  const char* Pattern;
  // alReadOnly: every authenticated level.
  TAccessLevel Level;
  TBelowLevel Below;
  // A request that changes settings: accepted only from this server's own pages and as a JSON body.
  bool Changes;
  // Answers into oResponse; false when it does not serve the path after all (no such file), so that the
  // following rows are tried.
  std::function<bool(const TRouteCall& iCall, TWebResponse& oResponse)> Handler;
};
