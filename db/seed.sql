-- Seed rows of the lookup tables, in UTF-8. The SQLite database keeps texts as
-- GBK bytes, so this file is converted to GBK before it is loaded there; the
-- PostgreSQL server converts it itself (client_encoding UTF8).
insert into Payment (Code, Descp) values ('CASH', '现金');
insert into Payment (Code, Descp) values ('CARD', '信用卡');
insert into Payment (Code, Descp) values ('CHQ', '支票');
insert into Payment (Code, Descp) values ('TRF', '转账');

insert into Market (Code, Descp) values ('WLK', '散客');
insert into Market (Code, Descp) values ('COR', '协议公司');
insert into Market (Code, Descp) values ('TA', '旅行社');
insert into Market (Code, Descp) values ('NET', '网络预订');
