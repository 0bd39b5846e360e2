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
    // Each row is a grid of its own: rows laid out alone agree on their columns.
    u"table,thead,tbody{display:block}\n"
    u"tr{display:grid;grid-template-columns:var(--cols);column-gap:1rem;"
    u"border-bottom:1px solid var(--line)}\n"
    u"th,td{padding:.3rem .25rem;text-align:left;min-width:0}\n"
    // Names keep their runs of spaces. Without script every row is laid out only once in
    // view; with it, the script draws rows of one height, a name cut short where too long.
    u"td:first-child{white-space:pre-wrap;overflow-wrap:anywhere}\n"
    u"noscript tbody tr{content-visibility:auto;contain-intrinsic-size:auto 2.1rem}\n"
    u"#t tbody tr{height:2.1rem}#t td{white-space:pre;overflow:hidden;text-overflow:ellipsis}\n"
    u"#t td a{outline-offset:-2px}\n"
    u"tbody tr:hover{background:var(--hover)}\n"
    u"th button{font:inherit;font-weight:600;color:inherit;background:none;border:0;padding:0;"
    u"cursor:pointer}\n"
    u"th[aria-sort=ascending]::after{content:\" \\25B2\"}\n"
    u"th[aria-sort=descending]::after{content:\" \\25BC\"}\n"
    u"a{color:var(--link);text-decoration:none}a:hover,h1 a{text-decoration:underline}\n"
    u".d a,.p a{font-weight:600}\n"
    u"#n,#z{color:var(--dim)}footer{text-align:center;margin:1.5rem 0}\n"
    u"@media (max-width:40rem){body{padding:.75rem}tr{--cols:minmax(0,1fr) auto;"
    u"column-gap:.75rem}th,td{padding:.2rem .25rem}#t tbody tr{height:1.9rem}"
    u"noscript tbody tr{contain-intrinsic-size:auto 3.4rem}}\n";

// The rules of the size column, %1 its place.
inline constexpr QStringView kSizeStyle =
    u"td:nth-child(%1),th:nth-child(%1){text-align:right;white-space:nowrap;"
    u"font-variant-numeric:tabular-nums}\n";

// The columns' widths, %1 the list of them: rows laid out alone must agree on them.
inline constexpr QStringView kColumnsStyle = u":root{--cols:%1}\n";

// The rules of the SHA-256 column, %1 its place: the whole sum in a fixed face, cut to the
// column (a selection copies all of it); none on a narrow screen.
inline constexpr QStringView kSumStyle =
    u"td:nth-child(%1){font-family:ui-monospace,monospace}\n"
    u"@media (max-width:40rem){td:nth-child(%1),th:nth-child(%1){display:none}}\n";

// The rules of the date column, %1 its place: on a narrow screen it goes under the name.
inline constexpr QStringView kDateStyle =
    u"td:nth-child(%1){white-space:nowrap}\n"
    u"@media (max-width:40rem){td:nth-child(%1),th:nth-child(%1){grid-column:1/-1;"
    u"text-align:left;padding-top:0;color:var(--dim);font-size:.875em}"
    u"#t tbody tr{height:3.45rem}}\n";

// Reads the rows a browser with script keeps as the text of <noscript>: where each row's
// cells start (C) and end (E), and its group (G: 0 the parent's page, 1 a folder, 2 a file).
// draw() draws the rows in view and a screen's worth on either side, the body's padding
// standing for the others (scaled past what a browser lays out, the rows following it). A
// header's click sorts (names by the page's collation with numbers as numbers, sizes and
// times by value, folders before files, unknown values last), the filter keeps the rows
// whose shown name holds what is typed (the parent's page stays; a query is looked for among
// the rows of the narrowest recent query it contains, and recent queries' rows are kept, so
// typing on and erasing are cheap), each by an array of row numbers. ranks() gives each row its
// place among the names: the written order when the page is in name order, so that the arrow is
// true, else the collation's; names and their lower case are read in idle time once the rows are
// drawn (prep), sizes and times at their first sort (values). Reads names as text only; ASCII only,
// as the style sheet.
inline constexpr QStringView kScript = uR"js((function(W){
"use strict";
var d=document,t=d.getElementById("t"),b=t.tBodies[0],hs=t.tHead.rows[0].cells,
q=d.getElementById("q"),sum=d.getElementById("n"),ns=d.querySelector("main noscript"),
s=ns?ns.textContent:"",co=new Intl.Collator(t.dataset.c,{numeric:true,sensitivity:"accent"}),
C=[],E=[],G=[],i,p,n,wk="",wup=true;
for(p=s.indexOf("<tbody>");p>=0&&(p=s.indexOf("\n<tr",p))>=0;){
var c=s.indexOf(">",p)+1,e=s.indexOf("\n",c);if(e<0)break;
G.push(s.charCodeAt(p+4)==62?2:s.charAt(p+12)=="p"?0:1);C.push(c);E.push(e);p=e}
n=C.length;
var all=new Int32Array(n),view,cnt=[0,0,0],R,N=new Array(n),L=new Array(n),ln=0,vals={},rh=0,shown=new Map(),
total=sum.innerHTML,z=d.createElement("p");
for(i=0;i<n;i++){all[i]=i;cnt[G[i]]++}
view=all;
for(i=0;i<hs.length;i++)if(hs[i].hasAttribute("aria-sort")){wk=hs[i].dataset.k;
wup=hs[i].getAttribute("aria-sort")=="ascending"}
function text(h){return h.indexOf("&")<0?h:h.replace(/&(?:#(\d+)|#x([0-9a-f]+)|(amp|lt|gt|quot));/gi,
function(m,dec,hex,nm){if(nm)return{amp:"&",lt:"<",gt:">",quot:"\""}[nm.toLowerCase()];
var u=dec?+dec:parseInt(hex,16);return u>0x10ffff?"\ufffd":String.fromCodePoint(u)})}
function prep(k){for(;ln<k;ln++){var a=s.indexOf("\">",C[ln])+2;
L[ln]=(N[ln]=text(s.slice(a,s.indexOf("</a>",a)))).toLowerCase()}}
function names(){prep(n);return N}
function idle(l){while(ln<n&&l.timeRemaining()>1)prep(Math.min(n,ln+2000));if(ln<n)ric(idle)}
function ranks(){if(R)return R;R=new Float64Array(n);var i;
if(wk=="n"){for(i=0;i<n;i++)R[i]=wup?i:-i;return R}
var o=Array.from(all),m=names();o.sort(function(x,y){return co.compare(m[x],m[y])||x-y});
for(i=0;i<n;i++)R[o[i]]=i;return R}
function values(k){if(vals[k])return vals[k];var key=k=="s"?" data-v=":" data-t=",
V=new Float64Array(n);for(var i=0;i<n;i++){var r=s.slice(C[i],E[i]),a=r.indexOf(key);
V[i]=a<0?NaN:+r.slice(a+8,r.indexOf(">",a))}return vals[k]=V}
function sortBy(k,up){var g=up?1:-1,r=ranks(),V=k=="n"?null:values(k);
all=all.slice().sort(V?function(x,y){if(G[x]!=G[y])return G[x]-G[y];var a=V[x],c=V[y];
if(a!==a||c!==c){if(a===a)return -1;if(c===c)return 1}else if(a!=c)return a<c?-g:g;
return r[x]-r[y]||x-y}:function(x,y){return G[x]-G[y]||(r[x]-r[y])*g||x-y})}
var seen=[];
function filter(){var w=q.value.trim().toLowerCase(),i,k,e,from=all,o,m=0,x,h;
if(!w){view=all}else{
for(k=seen.length-1;k>=0;k--){e=seen[k];if(e.w==w)break;
if(w.indexOf(e.w)>=0&&e.v.length<from.length)from=e.v}
if(k>=0){view=e.v;seen.splice(k,1)}else{prep(n);o=new Int32Array(from.length);
if(from===all){h=new Uint8Array(n);for(i=0;i<n;i++)if(G[i]==0||L[i].indexOf(w)>=0)h[i]=1;
for(i=0;i<n;i++)if(h[x=all[i]])o[m++]=x}
else for(i=0;i<from.length;i++){x=from[i];if(G[x]==0||L[x].indexOf(w)>=0)o[m++]=x}
view=o.slice(0,m)}
seen.push({w:w,v:view});for(k=0,m=0;k<seen.length;k++)m+=seen[k].v.length;
while(seen.length>1&&(seen.length>24||m>2*n))m-=seen.shift().v.length}
show(w)}
function show(w){var c=[0,0,0],i;t.setAttribute("aria-rowcount",view.length+1);
if(!w){sum.innerHTML=total;z.hidden=true}else{for(i=0;i<view.length;i++)c[G[view[i]]]++;
sum.textContent=W.s+(cnt[1]?c[1]+" / "+cnt[1]+W.d[cnt[1]==1?0:1]:"")+
c[2]+" / "+cnt[2]+W.f[cnt[2]==1?0:1];z.hidden=c[1]+c[2]>0;
z.textContent=(cnt[1]?W.z:W.y).replace("%",function(){return q.value.trim()})}draw(true)}
function make(x){var r=d.createElement("tr");if(G[x]<2)r.className=G[x]?"d":"p";
r.innerHTML=s.slice(C[x],E[x]);return r}
var from=-1,to=-1,CAP=1e7;
function draw(again){var m=view.length,top=b.getBoundingClientRect().top,vh=innerHeight||800,
h=rh||34,full=m*h,H=Math.min(full,CAP),rel=Math.min(Math.max(-top,0),Math.max(H-vh,0)),
first=full<=CAP?rel/h:rel/Math.max(H-vh,1)*Math.max(m-vh/h,0),f=Math.floor(first),
k=Math.ceil(vh/h)+1,lo=Math.max(0,f-k),hi=Math.min(m,f+2*k),pad;
if(!again&&lo==from&&hi==to&&full<=CAP)return;
from=lo;to=hi;pad=full<=CAP?lo*h:rel-(first-lo)*h;
var keep=new Map(),want=[],p,r,x;
for(p=lo;p<hi;p++){x=view[p];r=shown.get(x);if(r)shown.delete(x);else r=make(x);
if(r._i!==p){r._i=p;r.setAttribute("aria-rowindex",p+2)}keep.set(x,r);want.push(r)}
shown.forEach(function(r){b.removeChild(r)});shown=keep;
var c=b.firstChild;for(p=0;p<want.length;p++){r=want[p];if(r===c)c=c.nextSibling;
else b.insertBefore(r,c)}
b.style.paddingTop=pad+"px";b.style.paddingBottom=Math.max(0,H-pad-(hi-lo)*h)+"px";
if(!rh&&b.firstChild){rh=b.firstChild.getBoundingClientRect().height;if(rh)draw(true)}}
Array.prototype.forEach.call(hs,function(h){h.firstChild.addEventListener("click",function(){
var st=h.getAttribute("aria-sort"),up=st?st!="ascending":true;
for(var j=0;j<hs.length;j++)hs[j].removeAttribute("aria-sort");
h.setAttribute("aria-sort",up?"ascending":"descending");sortBy(h.dataset.k,up);
seen=[];view=all;filter()})});
t.tHead.rows[0].setAttribute("aria-rowindex",1);
z.id="z";z.hidden=true;t.parentNode.insertBefore(z,t.nextSibling);
sum.setAttribute("aria-live","polite");
t.hidden=false;q.hidden=false;q.addEventListener("input",filter);
addEventListener("scroll",function(){draw(false)},{passive:true});
addEventListener("resize",function(){rh=0;draw(true)});
b.addEventListener("mouseover",function(v){var c=v.target.closest&&v.target.closest("td");
if(!c||c.title)return;if(c.dataset.v)c.title=c.dataset.v+W.b;
else if((!c.previousSibling||c.className=="h")&&c.scrollWidth>c.clientWidth)c.title=c.textContent});
var ric=window.requestIdleCallback||function(f){setTimeout(function(){
f({timeRemaining:function(){return 10}})},50)};
show("");ric(idle)}))js";

} // namespace dirweaver
