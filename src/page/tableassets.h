#pragma once

// What every table page holds besides its rows: its style sheet and its script.

#include <QStringView>

namespace dirweaver {

// The style sheet. ASCII only, so that no encoding turns a character of it into an HTML
// reference, which CSS does not read.
inline constexpr QStringView kStyle =
    u":root{color-scheme:light dark;--fg:#1d1d22;--bg:#fff;--dim:#5f6068;--line:#e2e3e8;"
    u"--link:#0b57d0;--hover:#f3f5fa}\n"
    u"@media (prefers-color-scheme:dark){:root{--fg:#e4e4e8;--bg:#16171b;--dim:#a0a2ab;"
    u"--line:#2f3038;--link:#8ab4f8;--hover:#1f2128}}\n"
    u"body{margin:0 auto;max-width:64rem;padding:1rem;color:var(--fg);background:var(--bg);"
    u"font:16px/1.5 system-ui,-apple-system,\"Segoe UI\",\"PingFang SC\",\"Hiragino Sans GB\","
    u"\"Microsoft YaHei\",\"Noto Sans CJK SC\",\"Source Han Sans SC\",\"WenQuanYi Micro Hei\","
    u"\"AR PL UMing CN\",sans-serif}\n"
    u"h1{font-size:1.5rem;margin:.5rem 0 1rem;overflow-wrap:anywhere}\n"
    u"[hidden]{display:none!important}\n"
    u"#q{box-sizing:border-box;width:100%;margin:0 0 .75rem;padding:.4rem .6rem;font:inherit;"
    u"color:inherit;background:var(--bg);border:1px solid var(--line);border-radius:.4rem}\n"
    // Each row is a grid of its own, so that the browser lays out and paints only the rows
    // in view: a table of 100,000 rows opens in seconds, not tens of seconds.
    u"table,thead,tbody{display:block}\n"
    u"tr{display:grid;grid-template-columns:var(--cols);column-gap:1rem;"
    u"border-bottom:1px solid var(--line)}\n"
    u"th,td{padding:.3rem .25rem;text-align:left;min-width:0}\n"
    u"td:first-child{overflow-wrap:anywhere}\n"
    u"tbody tr{content-visibility:auto;contain-intrinsic-size:auto 2.1rem}\n"
    u"tbody tr:hover{background:var(--hover)}\n"
    u"th button{font:inherit;font-weight:600;color:inherit;background:none;border:0;padding:0;"
    u"cursor:pointer}\n"
    u"th[aria-sort=ascending] button::after{content:\" \\25B2\"}\n"
    u"th[aria-sort=descending] button::after{content:\" \\25BC\"}\n"
    u"a{color:var(--link);text-decoration:none}a:hover{text-decoration:underline}\n"
    u".d a,.p a{font-weight:600}\n"
    u"#n{color:var(--dim)}footer{text-align:center;margin:1.5rem 0}\n"
    u"@media (max-width:40rem){body{padding:.75rem}tr{--cols:minmax(0,1fr) auto;"
    u"column-gap:.75rem}th,td{padding:.2rem .25rem}"
    u"tbody tr{contain-intrinsic-size:auto 3.4rem}}\n";

// The rules of the size column, %1 its place.
inline constexpr QStringView kSizeStyle =
    u"td:nth-child(%1),th:nth-child(%1){text-align:right;white-space:nowrap;"
    u"font-variant-numeric:tabular-nums}\n";

// The columns' widths, %1 the list of them: rows laid out alone must agree on them.
inline constexpr QStringView kColumnsStyle = u":root{--cols:%1}\n";

// The rules of the date column, %1 its place: on a narrow screen it goes under the name.
inline constexpr QStringView kDateStyle =
    u"td:nth-child(%1){white-space:nowrap}\n"
    u"@media (max-width:40rem){td:nth-child(%1),th:nth-child(%1){grid-column:1/-1;"
    u"text-align:left;padding-top:0;color:var(--dim);font-size:.875em}}\n";

// Sorts on a header's click (names by collation with numbers as numbers, sizes and times by
// value, folders before files, unknown values last), filters on what is typed, and shows a
// size's exact bytes on hover. Reads names as text only; ASCII only, as the style sheet.
inline constexpr QStringView kScript =
    u"(function(){\n"
    u"var t=document.getElementById(\"t\"),b=t.tBodies[0],hs=t.tHead.rows[0].cells,"
    u"q=document.getElementById(\"q\"),co=new Intl.Collator(\"zh-CN\",{numeric:true}),es;\n"
    u"function entries(){if(es)return es;es=[];\n"
    u"for(var i=0;i<b.rows.length;i++){var r=b.rows[i],c=r.cells,n=c[0].textContent,"
    u"e={r:r,i:i,n:n,l:n.toLowerCase(),g:r.className==\"p\"?0:r.className==\"d\"?1:2,v:[]};\n"
    u"for(var k=1;k<hs.length;k++){var x=null;if(hs[k].dataset.k==\"s\"){x=c[k].dataset.v;"
    u"x=x==null?null:+x}else{var m=c[k].querySelector(\"time\");x=m?m.dateTime:null}e.v[k]=x}\n"
    u"es.push(e)}return es}\n"
    u"function sort(k,up){var d=up?1:-1;entries().sort(function(x,y){if(x.g!=y.g)return x.g-y.g;"
    u"var a=x.v[k],z=y.v[k],c=0;if(k>0&&(a!=null||z!=null)){if(a==null)return 1;"
    u"if(z==null)return -1;c=a<z?-d:a>z?d:0}\n"
    u"if(!c)c=co.compare(x.n,y.n)*(k?1:d);return c||x.i-y.i});\n"
    u"var n=b.nextSibling;t.removeChild(b);es.forEach(function(e){b.appendChild(e.r)});"
    u"t.insertBefore(b,n)}\n"
    u"Array.prototype.forEach.call(hs,function(h,k){h.firstChild.addEventListener(\"click\","
    u"function(){var s=h.getAttribute(\"aria-sort\"),up=s?s!=\"ascending\":h.dataset.k==\"n\";\n"
    u"for(var j=0;j<hs.length;j++)hs[j].removeAttribute(\"aria-sort\");"
    u"h.setAttribute(\"aria-sort\",up?\"ascending\":\"descending\");sort(k,up)})});\n"
    u"q.hidden=false;q.addEventListener(\"input\",function(){"
    u"var w=q.value.trim().toLowerCase();\n"
    u"entries().forEach(function(e){var h=e.g>0&&w!=\"\"&&e.l.indexOf(w)<0;"
    u"if(e.r.hidden!=h)e.r.hidden=h})});\n"
    u"b.addEventListener(\"mouseover\",function(v){var c=v.target.closest&&"
    u"v.target.closest(\"td[data-v]\");if(c&&!c.title)c.title=c.dataset.v+\" \\u5b57\\u8282\"})"
    u"})();\n";

} // namespace dirweaver
