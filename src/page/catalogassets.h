#pragma once

// What every catalogue holds besides its data: its mark, style sheet and script.

#include <QByteArrayView>
#include <QStringView>

namespace dirweaver {

// What a catalogue holds in its head, and only a catalogue.
inline constexpr QByteArrayView kCatalogMark =
    "<meta name=\"generator\" content=\"Dirweaver --catalog\">";

// The style sheet; ASCII only, as the table page's.
inline constexpr QStringView kCatalogStyle =
    u":root{color-scheme:light dark;--fg:#1d1d22;--bg:#fff;--dim:#5f6068;--line:#e2e3e8;"
    u"--link:#0b57d0;--hover:#f3f5fa;--sel:#dfe8fb}\n"
    u"@media (prefers-color-scheme:dark){:root{--fg:#e4e4e8;--bg:#16171b;--dim:#a0a2ab;"
    u"--line:#2f3038;--link:#8ab4f8;--hover:#1f2128;--sel:#263352}}\n"
    u"body{margin:0;padding:.75rem 1rem;color:var(--fg);background:var(--bg);"
    u"font:16px/1.5 system-ui,-apple-system,\"Segoe UI\",\"PingFang SC\",\"Hiragino Sans GB\","
    u"\"Microsoft YaHei\",\"Noto Sans CJK SC\",\"Source Han Sans SC\",\"WenQuanYi Micro Hei\","
    u"\"AR PL UMing CN\",sans-serif}\n"
    u"h1{font-size:1.4rem;margin:0;overflow-wrap:anywhere}#sum,.c,#st{color:var(--dim)}\n"
    u"#sum{margin:.25rem 0 .75rem}[hidden]{display:none!important}\n"
    u"a{color:var(--link);text-decoration:none}a:hover{text-decoration:underline}\n"
    u"#q{box-sizing:border-box;width:100%;padding:.4rem .6rem;font:inherit;color:inherit;"
    u"background:var(--bg);border:1px solid var(--line);border-radius:.4rem}\n"
    u"#st{margin:.25rem 0;min-height:1.5em}\n"
    u"#cols{display:flex;gap:1rem;height:calc(100vh - 12rem);min-height:18rem}\n"
    u"#tv{flex:0 0 "
    u"30%;max-width:24rem}#tb{flex:1;min-height:0;display:flex;flex-direction:column}#lp{flex:1;"
    u"min-width:0;display:flex;"
    u"flex-direction:column}\n"
    u".sc{overflow:auto;position:relative;border:1px solid var(--line);border-radius:.4rem;"
    u"flex:1}\n"
    u".in{position:relative}.r{position:absolute;left:0;right:0;height:30px;display:grid;"
    u"grid-template-columns:var(--cols);column-gap:.75rem;align-items:center;"
    u"padding:0 .5rem;border-bottom:1px solid var(--line);box-sizing:border-box}\n"
    u".r>*{white-space:pre;overflow:hidden;text-overflow:ellipsis;min-width:0}\n"
    u"#lp{--cols:minmax(0,1fr) 6.5em 11em}#lp.res{--cols:minmax(0,1fr) minmax(0,1fr) 6.5em}\n"
    u"#hd{display:grid;grid-template-columns:var(--cols);column-gap:.75rem;padding:0 .5rem;"
    u"font-weight:600}\n"
    u"#hd button{font:inherit;color:inherit;background:none;border:0;padding:.2rem 0;"
    u"cursor:pointer;text-align:left}\n"
    u"#hd [aria-sort=ascending]::after{content:\" \\25B2\"}"
    u"#hd [aria-sort=descending]::after{content:\" \\25BC\"}\n"
    u".z{text-align:right;font-variant-numeric:tabular-nums}#hd .z{justify-self:end}.k "
    u"a{font-weight:600}\n"
    u"#tv .r{display:flex;align-items:center;column-gap:0;cursor:pointer}#tv .r:hover,#lv .r:hover{"
    u"background:var(--hover)}\n"
    u"#tv [aria-selected=true]{background:var(--sel)}#tv:focus-visible .a{outline:2px solid "
    u"var(--link);outline-offset:-2px}\n"
    u".tg{flex:none;width:1.1em;color:var(--dim)}#tv .c{flex:none}\n"
    u"#where{margin:0 0 .25rem;overflow-wrap:anywhere}\n"
    u"@media (max-width:40rem){body{padding:.5rem}#cols{flex-direction:column;height:auto}"
    u"#tv{flex:none;max-width:none;height:30vh}#lp .sc{height:60vh;flex:none}"
    u"#lp{--cols:minmax(0,1fr) 5.5em}#lp.res{--cols:minmax(0,1fr) minmax(0,.8fr)}"
    u"#lv .r>:nth-child(3),#hd>:nth-child(3){display:none}}\n"
    u"noscript .ns,noscript ul{list-style:none;padding-left:1.2rem}\n";

// Reads the catalogue's data (dw-r its trees, dw-f its folders, dw-n and dw-s every file's
// name and facts, a line each) as four strings, making a typed array per folder field and
// nothing per file: a folder's files are read when it is shown. The tree and the list draw
// only the rows in view. The search index (every shown name in lower case, a line each, and
// where each starts) is made in steps of at most 40 ms after the first folder is shown; a
// query is a part of a name, or a mask with * and ? that the whole name matches.
inline constexpr QStringView kCatalogScript = uR"js((function(W){
"use strict";
var d=document,app=d.getElementById("app");if(!app)return;
function txt(id){var e=d.getElementById(id);return e?e.textContent:""}
var RL=txt("dw-r").split("\n"),FL=txt("dw-f").split("\n"),NS=txt("dw-n"),SS=txt("dw-s");
RL.pop();FL.pop();
var n=FL.length,sub=new Int32Array(n),nf=new Int32Array(n),own=new Float64Array(n),
tm=new Float64Array(n),na=new Float64Array(n),sa=new Float64Array(n),nm=new Array(n),
par=new Int32Array(n),end=new Int32Array(n),dep=new Int32Array(n),tr=new Int32Array(n),
first=new Float64Array(n+1),af=new Float64Array(n),ab=new Float64Array(n),
RT=[],RN=[],st=[],left=[],t=-1,i,k;
for(i=0;i<RL.length;i++){k=RL[i].indexOf("\t");RT.push(RL[i].slice(0,k));RN.push(RL[i].slice(k+1))}
for(i=0;i<n;i++){var L=FL[i],p=[],a=0,b;for(k=0;k<6;k++){b=L.indexOf("/",a);p.push(L.slice(a,b));a=b+1}
sub[i]=parseInt(p[0],36);nf[i]=parseInt(p[1],36);own[i]=parseInt(p[2],36);
tm[i]=p[3]?parseInt(p[3],36):NaN;na[i]=parseInt(p[4],36);sa[i]=parseInt(p[5],36);nm[i]=L.slice(a);
while(left.length&&left[left.length-1]==0){left.pop();end[st.pop()]=i}
if(st.length){par[i]=st[st.length-1];left[left.length-1]--;tr[i]=tr[par[i]]}else{par[i]=-1;tr[i]=++t}
dep[i]=st.length;st.push(i);left.push(sub[i]);first[i+1]=first[i]+nf[i]}
while(st.length)end[st.pop()]=n;
for(i=n-1;i>=0;i--){af[i]+=nf[i];ab[i]+=own[i];if(par[i]>=0){af[par[i]]+=af[i];ab[par[i]]+=ab[i]}}
var N=first[n],te=new TextEncoder(),u8=new TextDecoder("utf-8"),f8=new TextDecoder("utf-8",{fatal:true}),gb=null;
try{gb=new TextDecoder("gbk",{fatal:true})}catch(e){}
function bytes(s){var o=[],i=0,j,c;while(i<s.length){j=s.indexOf("\\",i);if(j<0)j=s.length;
if(j>i){var e=te.encode(s.slice(i,j));for(c=0;c<e.length;c++)o.push(e[c])}
if(j<s.length)o.push(parseInt(s.substr(j+1,2),16));i=j+3}return new Uint8Array(o)}
var bad=/[\u0000-\u001f\u007f-\u009f\ufdd0-\ufdef\ufffe\uffff]/g,
badT=/[\u0000-\u001f\u007f-\u009f\ufdd0-\ufdef\ufffe\uffff]/;
function shown(s){if(s.indexOf("\\")>=0){var b=bytes(s);try{s=f8.decode(b)}catch(e){
try{s=gb?gb.decode(b):u8.decode(b)}catch(e2){s=u8.decode(b)}}}
return badT.test(s)?s.replace(bad,"\ufffd"):s}
function enc(s){if(s.indexOf("\\")<0)return encodeURIComponent(s);var b=bytes(s),o="",c;
for(var i=0;i<b.length;i++){c=b[i];o+=/[A-Za-z0-9\-._~]/.test(String.fromCharCode(c))?
String.fromCharCode(c):"%"+(c<16?"0":"")+c.toString(16).toUpperCase()}return o}
var PT=new Array(n);
function target(f){if(PT[f]===undefined)PT[f]=par[f]<0?RT[tr[f]]:target(par[f])+enc(nm[f])+"/";return PT[f]}
function fname(f){return par[f]<0?shown(RN[tr[f]]):shown(nm[f])}
function lines(S,at,c){var o=new Array(c),p=at,q;for(var k=0;k<c;k++){q=S.indexOf("\n",p);o[k]=S.slice(p,q);p=q+1}return o}
var df=new Intl.DateTimeFormat(W.l,{year:"numeric",month:"2-digit",day:"2-digit",hour:"2-digit",minute:"2-digit"});
function date(v){return v===v?df.format(new Date(v*1000)):W.u}
var UN=[" KB"," MB"," GB"," TB"," PB"," EB"];
function size(v){if(!(v===v))return "";if(v<1024)return v+W.b;var u=-1;while(u<5&&v>=1024){v/=1024;u++}
return(v<10?(Math.round(v*10)/10).toFixed(1):Math.round(v))+UN[u]}
function plural(c,w){return c+w[c==1?0:1]}
function el(tag,cls,text){var e=d.createElement(tag);if(cls)e.className=cls;if(text!=null)e.textContent=text;return e}
app.innerHTML="";
var q=el("input");q.id="q";q.type="search";q.placeholder=W.q;q.setAttribute("aria-label",W.q);
var sm=el("p");sm.id="st";sm.setAttribute("aria-live","polite");
var cols=el("div");cols.id="cols";
var tv=el("div","sc");tv.id="tv";tv.tabIndex=0;tv.setAttribute("role","tree");tv.setAttribute("aria-label",W.t);
var lp=el("div"),wh=el("p"),hd=el("div"),lv=el("div","sc");lp.id="lp";wh.id="where";hd.id="hd";lv.id="lv";
lv.setAttribute("role","rowgroup");hd.setAttribute("role","row");
tv.appendChild(el("div","in"));lv.appendChild(el("div","in"));
var tb=el("div");tb.id="tb";tb.setAttribute("role","table");
lp.appendChild(wh);tb.appendChild(hd);tb.appendChild(lv);lp.appendChild(tb);cols.appendChild(tv);cols.appendChild(lp);
app.appendChild(q);app.appendChild(sm);app.appendChild(cols);
var CAP=1e7,H=30;
function List(box,make){var inn=box.firstChild,shownR=new Map(),lo=-1,hi=-1,o={n:0};
o.draw=function(force){var m=o.n,vh=box.clientHeight||600,full=m*H,HH=Math.min(full,CAP),
s=box.scrollTop,fst=full<=CAP?s/H:s/Math.max(HH-vh,1)*Math.max(m-vh/H,0),f=Math.floor(fst),
c=Math.ceil(vh/H)+1,a=Math.max(0,f-c),z=Math.min(m,f+2*c),keep=new Map(),r;
if(!force&&a==lo&&z==hi&&full<=CAP)return;lo=a;hi=z;inn.style.height=HH+"px";
for(var i=a;i<z;i++){r=force?null:shownR.get(i);if(r)shownR.delete(i);else{r=make(i);inn.appendChild(r)}
r.style.top=(full<=CAP?i*H:s+(i-fst)*H)+"px";keep.set(i,r)}
shownR.forEach(function(r){r.remove()});shownR=keep};
o.set=function(m){o.n=m;box.scrollTop=0;o.draw(true)};
o.into=function(i){var top=i*H;if(o.n*H>CAP)return;if(top<box.scrollTop)box.scrollTop=top;
else if(top+H>box.scrollTop+box.clientHeight)box.scrollTop=top+H-box.clientHeight;o.draw(true)};
box.addEventListener("scroll",function(){o.draw(false)},{passive:true});return o}
var ex=new Uint8Array(n),vis=[],open=-1,act=-1;
function visible(){vis=[];var s=[],i;for(i=n-1;i>=0;i--)if(par[i]<0)s.push(i);
while(s.length){var f=s.pop();vis.push(f);if(ex[f]&&sub[f]){var c=f+1,kids=[];
while(c<end[f]){kids.push(c);c=end[c]}for(i=kids.length-1;i>=0;i--)s.push(kids[i])}}
TL.n=vis.length}
var TL=List(tv,function(i){var f=vis[i],r=el("div","r"+(f==act?" a":""));r.id="n"+f;
r.setAttribute("role","treeitem");r.setAttribute("aria-level",dep[f]+1);
r.setAttribute("aria-selected",f==open?"true":"false");if(sub[f])r.setAttribute("aria-expanded",ex[f]?"true":"false");
r.style.paddingLeft=(dep[f]*1.1+.5)+"em";var g=el("span","tg",sub[f]?(ex[f]?"\u25be":"\u25b8"):"");
r.appendChild(g);r.appendChild(el("span",null,fname(f)));r.appendChild(el("span","c"," "+af[f]));
r.title=plural(af[f],W.f)+W.c+size(ab[f]);r._f=f;return r});
function toggle(f,on){ex[f]=on==null?!ex[f]:on;visible();TL.draw(true)}
function activate(f){act=f;tv.setAttribute("aria-activedescendant","n"+f);var i=vis.indexOf(f);if(i>=0)TL.into(i);else TL.draw(true)}
function reveal(f){for(var p=par[f];p>=0;p=par[p])ex[p]=1;visible()}
tv.addEventListener("click",function(e){var r=e.target.closest(".r");if(!r)return;var f=r._f;
if(e.target.className=="tg")toggle(f);else{showFolder(f);if(sub[f]&&!ex[f])toggle(f,1)}activate(f)});
tv.addEventListener("keydown",function(e){var i=vis.indexOf(act),f=act,k=e.key;if(i<0)return;
if(k=="ArrowDown"&&i+1<vis.length)f=vis[i+1];else if(k=="ArrowUp"&&i>0)f=vis[i-1];
else if(k=="Home")f=vis[0];else if(k=="End")f=vis[vis.length-1];
else if(k=="PageDown")f=vis[Math.min(vis.length-1,i+10)];else if(k=="PageUp")f=vis[Math.max(0,i-10)];
else if(k=="ArrowRight"){if(sub[f]&&!ex[f])toggle(f,1);else if(sub[f])f=f+1}
else if(k=="ArrowLeft"){if(sub[f]&&ex[f])toggle(f,0);else if(par[f]>=0)f=par[f]}
else if(k=="Enter"||k==" "){showFolder(f)}else return;e.preventDefault();activate(f)});
var items=[],names=null,facts=null,res=false,key="",up=true,co=new Intl.Collator(W.l,{numeric:true,sensitivity:"accent"});
var NST=new Uint32Array(N+1),SST=new Uint32Array(N+1),IST=new Uint32Array(N+1),done=0,IX=null,FX=null,FST=null;
function fileOf(k){var lo=0,hi=n-1;while(lo<hi){var m=(lo+hi+1)>>1;if(first[m]<=k)lo=m;else hi=m-1}
return lo}
function fileName(k){if(open>=0&&!res&&k>=first[open]&&k<first[open+1])return names[k-first[open]];
return NS.slice(NST[k],NST[k+1]-1)}
function fileFacts(k){if(open>=0&&!res&&k>=first[open]&&k<first[open+1])return facts[k-first[open]];
return SS.slice(SST[k],SST[k+1]-1)}
function fact(k,w){var s=fileFacts(k),j=s.indexOf("/"),v=w?s.slice(j+1):s.slice(0,j);return v?parseInt(v,36):NaN}
function crumbs(p,f,last){var c=[],x;for(x=f;x>=0;x=par[x])c.unshift(x);c.forEach(function(x,j){
if(j)p.appendChild(d.createTextNode(" / "));var a=el("a",null,fname(x));a.href=target(x);a._f=x;
if(last||j<c.length-1)p.appendChild(a);else p.appendChild(el("b",null,fname(x)))})}
var LL=List(lv,function(i){var x=items[i],r=el("div","r"),a=el("a"),f,k;r.setAttribute("role","row");
if(x<0){f=-x-1;r.className="r k";a.textContent=fname(f)+"/";a.href=target(f);a._f=f;
r.appendChild(cell(a));if(res){var p=el("span");if(par[f]>=0)crumbs(p,par[f],true);r.appendChild(p)}
var z=el("span","z",size(ab[f]));z.title=plural(af[f],W.f);r.appendChild(z);
if(!res)r.appendChild(el("span",null,date(tm[f])))}else{k=x;f=fileOf(k);var s=fileName(k);
a.textContent=shown(s);a.href=target(f)+enc(s);r.appendChild(cell(a));if(res){var q2=el("span");crumbs(q2,f,true);r.appendChild(q2)}
var v=fact(k,0);z=el("span","z",size(v));if(v===v&&v>=1024)z.title=v+W.b;r.appendChild(z);
if(!res)r.appendChild(el("span",null,date(fact(k,1))))}
for(var c=r.firstChild;c;c=c.nextSibling)c.setAttribute("role","cell");return r});
function cell(a){var s=el("span");s.appendChild(a);return s}
lv.addEventListener("click",function(e){var a=e.target.closest("a");if(a&&a._f!=null&&!e.ctrlKey&&!e.metaKey&&!e.shiftKey&&e.button==0){
e.preventDefault();q.value="";reveal(a._f);showFolder(a._f);activate(a._f)}});
wh.addEventListener("click",function(e){var a=e.target.closest("a");if(a&&a._f!=null&&!e.ctrlKey&&!e.metaKey){
e.preventDefault();q.value="";reveal(a._f);showFolder(a._f);activate(a._f)}});
function header(){hd.innerHTML="";var hs=res?[W.h[0],W.h[2],W.h[1]]:[W.h[0],W.h[1],app.dataset.d],ks=res?["","",""]:["n","s","t"];
hs.forEach(function(h,j){var c=el("span",j==(res?2:1)?"z":null,ks[j]?null:h);c.setAttribute("role","columnheader");
if(ks[j]){var b=el("button",null,h);b.type="button";b.dataset.k=ks[j];c.appendChild(b);
if(key==ks[j])c.setAttribute("aria-sort",up?"ascending":"descending")}hd.appendChild(c)})}
hd.addEventListener("click",function(e){var b=e.target.closest("button");if(!b)return;var k=b.dataset.k;
up=key==k?!up:k=="n";key=k;sortItems();header();LL.set(items.length)});
function sortItems(){if(!key)return;var g=up?1:-1,V=items.map(function(x){if(key=="n")return x<0?fname(-x-1):shown(fileName(x));
if(key=="s")return x<0?ab[-x-1]:fact(x,0);return x<0?tm[-x-1]:fact(x,1)}),o=items.map(function(x,i){return i});
o.sort(function(i,j){var a=items[i]<0,b=items[j]<0;if(a!=b)return a?-1:1;var u=V[i],v=V[j];
if(key=="n")return co.compare(u,v)*g||i-j;if(u!==u||v!==v){if(u===u)return -1;if(v===v)return 1;return i-j}
return u==v?i-j:u<v?-g:g});items=o.map(function(i){return items[i]})}
function showFolder(f){open=f;res=false;q.value="";lp.className="";names=lines(NS,na[f],nf[f]);facts=lines(SS,sa[f],nf[f]);
items=[];for(var c=f+1;c<end[f];c=end[c])items.push(-c-1);for(var k=first[f];k<first[f+1];k++)items.push(k);
wh.innerHTML="";crumbs(wh,f,false);sortItems();header();LL.set(items.length);
sm.textContent=plural(af[f],W.f)+W.c+size(ab[f]);visible();TL.draw(true)}
function step(){var t0=performance.now(),fi=step.f||0,parts=step.p||(step.p=[]);
while(fi<n&&performance.now()-t0<40){var f0=fi,k0=first[fi],k1=k0;while(fi<n&&k1-k0<20000){k1+=nf[fi];fi++}
if(k1==k0)continue;var p=na[f0],k;for(k=k0;k<k1;k++){NST[k]=p;p=NS.indexOf("\n",p)+1}NST[k1]=p;
var ch=NS.slice(NST[k0],p),lo,base=step.l||0;
var fast=ch.indexOf("\\")<0&&!badT.test(ch);
lo=fast?ch.toLowerCase():lines(ch,0,k1-k0).map(shown).join("\n").toLowerCase()+"\n";
if(fast&&lo.length==ch.length){for(k=k0;k<=k1;k++)IST[k]=base+NST[k]-NST[k0]}
else{p=0;for(k=k0;k<k1;k++){IST[k]=base+p;p=lo.indexOf("\n",p)+1}IST[k1]=base+p}
parts.push(lo);step.l=base+lo.length;p=sa[f0];for(k=k0;k<k1;k++){SST[k]=p;p=SS.indexOf("\n",p)+1}SST[k1]=p;done=k1}
step.f=fi;if(fi<n){sm.textContent=W.i+" "+Math.floor(done*100/Math.max(N,1))+"%";setTimeout(step,0);return}
IX=parts.join("");step.p=null;FX=[];FST=new Uint32Array(n+1);var at=0;
for(k=0;k<n;k++){FST[k]=at;var s=fname(k).toLowerCase();FX.push(s);at+=s.length+1}FST[n]=at;FX=FX.join("\n")+"\n";
app.dataset.ready="1";if(q.value.trim())search();else if(open>=0)sm.textContent=plural(af[open],W.f)+W.c+size(ab[open])}
function glob(w){var s=w.replace(/[.+^${}()|[\]\\]/g,"\\$&").replace(/\*/g,"[^\\n]*").replace(/\?/g,"[^\\n]");
if(s.slice(0,6)=="[^\\n]*")s=s.replace(/^(\[\^\\n\]\*)+/,"");else s="^"+s;
if(s.slice(-6)=="[^\\n]*")s=s.replace(/(\[\^\\n\]\*)+$/,"");else s+="$";return new RegExp(s||"^","gm")}
function Hits(S,A,w,out,at,fold){var re=/[*?]/.test(w)?glob(w):null,p=0,k=0,o={c:at,done:false};
o.more=function(ms){var end=performance.now()+ms,x,t=0;for(;;){if(re){re.lastIndex=p;x=re.exec(S);
if(!x||x.index>=S.length){o.done=true;break}p=x.index}else{p=S.indexOf(w,p);if(p<0){o.done=true;break}}
while(A[k+1]<=p)k++;out[o.c++]=fold?-k-1:k;p=A[k+1];if((++t&1023)==0&&performance.now()>end)break}};return o}
var RB=null,job=0;
function search(){var w=q.value.trim().toLowerCase(),my=++job;if(!w){if(open>=0)showFolder(open);return}
if(!IX){sm.textContent=W.i;return}
if(!RB)RB=new Int32Array(N+n);var fh=Hits(FX,FST,w,RB,0,true);fh.more(1e9);
var kh=Hits(IX,IST,w,RB,fh.c,false);res=true;lp.className="res";key="";header();items=RB;
lv.scrollTop=0;(function more(ms){if(my!=job)return;kh.more(ms);LL.n=kh.c;LL.draw(true);
var c=kh.c-fh.c;sm.textContent=kh.c?W.x+(fh.c?plural(fh.c,W.d)+W.c:"")+plural(c,W.f)+(kh.done?"":"\u2026"):
kh.done?W.y.replace("%",function(){return q.value.trim()}):W.i;if(!kh.done)setTimeout(function(){more(30)},0)})(10)}
q.addEventListener("input",search);addEventListener("resize",function(){TL.draw(true);LL.draw(true)});
app.hidden=false;for(i=0;i<n;i++)if(par[i]<0)ex[i]=1;visible();
if(n){showFolder(0);activate(0)}setTimeout(step,0)}))js";

} // namespace dirweaver
