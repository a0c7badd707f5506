-- wrk script of the FastCGI soak: a fixed mix of requests (GET and POST to
-- hwendle.exe, the cookie redirect, the echo program with cookies and a form
-- body, one that leaves allocations behind, and every ABORT_EVERY-th request
-- one that ends in the runtime abort report), each answer checked for its
-- exact content. Each thread stops after REQUESTS / threads requests and
-- then creates the file SOAK_DONE.<thread>, so that the caller can end wrk
-- (which otherwise waits for its whole duration).
-- Environment: SOAK_PREFIX (site prefix), SOAK_REQUESTS, SOAK_THREADS,
-- SOAK_ABORT_EVERY, SOAK_DONE.
local prefix = os.getenv("SOAK_PREFIX")
local total = tonumber(os.getenv("SOAK_REQUESTS") or "200000")
local nthreads = tonumber(os.getenv("SOAK_THREADS") or "2")
local abortEvery = tonumber(os.getenv("SOAK_ABORT_EVERY") or "2000")
local threads = {}

function setup(thread)
  thread:set("id", #threads)
  table.insert(threads, thread)
end

function init(args)
  sent, answered, wrong, aborts, leaks, firstWrong = 0, 0, 0, 0, 0, ""
  limit = math.floor(total / nthreads)
  form = "sCallerURL=http%3A%2F%2Fcaller%2F&field=" .. id
end

local kinds = {
  function(n) return wrk.format("GET", "/cgi-bin/hwendle.exe?5,6,7,abc") end,
  function(n) return wrk.format("POST", "/cgi-bin/hwendle.exe?1,2,3,post",
    {["Content-Type"] = "application/x-www-form-urlencoded"}, form) end,
  function(n) return wrk.format("GET", "/cgi-bin/redirect_cookie.exe") end,
  function(n) return wrk.format("POST", "/cgi-bin/echo.exe?dump," .. n,
    {["Cookie"] = "a=1; b=x%20y", ["Content-Type"] = "application/x-www-form-urlencoded"}, "name=v" .. n) end,
  function(n) return wrk.format("GET", "/cgi-bin/echo.exe?leak," .. n) end,
}

function request()
  sent = sent + 1
  if sent % abortEvery == 0 then
    return wrk.format("GET", "/cgi-bin/echo.exe?abort")
  end
  return kinds[sent % #kinds + 1](sent)
end

local function bad(why)
  wrong = wrong + 1
  if firstWrong == "" then firstWrong = why end
end

function response(status, headers, body)
  answered = answered + 1
  if answered == limit then
    local marker = io.open(os.getenv("SOAK_DONE") .. "." .. id, "w")
    if marker then marker:close() end
    wrk.thread:stop()
  end
  local location = headers["Location"]
  if status == 302 then
    if location ~= prefix .. "Hwendle.aspx?5,6,7,abc" and location ~= prefix .. "Hwendle.aspx?1,2,3,post" then
      bad("302 to " .. tostring(location))
    end
  elseif status ~= 200 then
    bad("status " .. status)
  elseif headers["Set-Cookie"] == "qzvisit=redirected; path=/;" then
    if not body:find("location.replace('//", 1, true) then bad("cookie page " .. body) end
  elseif body:find("aborted at line 7. Exit code: -1.", 1, true) then
    aborts = aborts + 1
  elseif body:find("^pool blocks at start=0\n") then
    if body:find("\nQUERY_STRING=leak\n", 1, true) then
      leaks = leaks + 1
    elseif not (body:find("\ncookie a=1\n", 1, true) and body:find("\ncookie b=x y\n", 1, true)
                and body:find("\nname=v", 1, true)) then
      bad("echo " .. body:sub(1, 200))
    end
  else
    bad("answer " .. body:sub(1, 200))
  end
end

function done(summary, latency, requests)
  local w, a, l, first = 0, 0, 0, ""
  for _, t in ipairs(threads) do
    w = w + t:get("wrong")
    a = a + t:get("aborts")
    l = l + t:get("leaks")
    if first == "" then first = t:get("firstWrong") end
  end
  local e = summary.errors
  io.write(string.format("wrk: %d requests, %d errors\n", summary.requests,
    e.connect + e.read + e.write + e.status + e.timeout))
  io.write(string.format("aborting requests: %d\n", a))
  io.write(string.format("leaking requests: %d\n", l))
  io.write(string.format("wrong responses: %d\n", w))
  if first ~= "" then io.write("first wrong: " .. first .. "\n") end
end
